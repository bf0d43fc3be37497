// Choosing what Tab inserts: candidate words filtered by the typed prefix, their longest
// common prefix, and local file names for a word that is a path.
#pragma once
#include <string>
#include <vector>

namespace kit::platform {

// The word being completed: the text after the last blank before the cursor.
std::string word_before_cursor(const std::string& line_to_cursor);

// The word being completed as typed: after an opening double quote that is not closed yet
// it is everything after that quote, blanks included (quoted); else the text after the
// last blank. typed_bytes counts what was typed of it, the quote included.
struct typed_word {
  std::string text;
  bool quoted = false;
  size_t typed_bytes = 0;
};
typed_word word_at_cursor(const std::string& line_to_cursor);

// What Tab does with the matching words: erase that many bytes before the cursor, then
// insert the text. A word with a blank goes in double quotes (the typed word is replaced
// by the quoted one); a single match that is no folder is closed (quote and blank).
// Nothing to insert when the words share no more than what is typed (the words are then
// listed instead).
struct completion_edit {
  size_t erase = 0;
  std::string insert;
};
completion_edit complete_word(const typed_word& typed, const std::vector<std::string>& words);

// The candidates that begin with prefix, sorted, without duplicates.
std::vector<std::string> matching_words(const std::vector<std::string>& candidates, const std::string& prefix);

// The longest text every word begins with (empty for no words).
std::string common_prefix(const std::vector<std::string>& words);

// Local file names completing word ("~/" is the home folder): the folder part of word is
// kept, folders end with "/", hidden files only when the typed name starts with ".".
// At most limit names (a huge folder never fills memory).
std::vector<std::string> local_file_names(const std::string& word, size_t limit = 2000);

} // namespace kit::platform
