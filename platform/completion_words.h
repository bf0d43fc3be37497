// Choosing what Tab inserts: candidate words filtered by the typed prefix, their longest
// common prefix, and local file names for a word that is a path.
#pragma once
#include <string>
#include <vector>

namespace kit::platform {

// The word being completed: the text after the last blank before the cursor.
std::string word_before_cursor(const std::string& line_to_cursor);

// The candidates that begin with prefix, sorted, without duplicates.
std::vector<std::string> matching_words(const std::vector<std::string>& candidates, const std::string& prefix);

// The longest text every word begins with (empty for no words).
std::string common_prefix(const std::vector<std::string>& words);

// Local file names completing word ("~/" is the home folder): the folder part of word is
// kept, folders end with "/", hidden files only when the typed name starts with ".".
// At most limit names (a huge folder never fills memory).
std::vector<std::string> local_file_names(const std::string& word, size_t limit = 2000);

} // namespace kit::platform
