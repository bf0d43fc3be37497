// extract-archive: unpacks every item of an archive into a destination folder through the
// codec library (archive/codec_library.h). Safe to call from several threads at once.
//
// The format is found by offering the file to each archive format in turn, those that
// name the file's extension first. Items are written below the destination only: an item
// whose path is absolute or climbs out with ".." is skipped, as are links and special
// files, and nothing is written through a link already inside the destination. A file
// keeps the permission bits the archive records (without set-user-id, set-group-id or
// sticky); without recorded bits it is created 0644 less the umask. A file whose data
// fails is removed. What the library lists is what is written: a ".tar.gz" is a gzip
// stream holding one item, the tar.
#pragma once
#include <cstdint>
#include <string>

namespace kit::archive {

// True when the archive could be opened and every item was visited (an item that could
// not be written does not change that); false for a missing, unreadable or unrecognised
// file, an archive that needs a password (only the empty password is tried), or an
// extraction the library broke off. Paths are UTF-8; "\" counts as "/".
//
// Bounds: an archive of more than limits.max_items items, or whose items would expand
// beyond limits.max_bytes or the free space of the destination, is refused before anything
// is written; one that writes more than its items announced is broken off there. A broken
// off or cancelled extraction removes the item it was writing.
struct extract_limits {
  uint64_t max_bytes = uint64_t{16} << 30;
  uint32_t max_items = 100000;
};

bool extract_archive(const std::string& archive_path, const std::string& destination, const std::string& password = {},
                     const extract_limits& limits = {});

// Ends every extraction, running or to come, at its next write: the program is ending.
void cancel_extractions();

} // namespace kit::archive
