// The file listings of shared storage (documents, ringtones, recordings, downloads,
// screenshots, cache files, backups, folders), found by walking it: bounded in depth and
// in entries, symbolic links not followed, the app-private folders skipped.
#pragma once
#include <string>

#include "agent/phone_paths.h"
#include "agent/phone_source.h"

namespace kit::agent {

void walk_listing(const phone_paths& paths, const std::string& list, const each_fn<file_entry>& each);

// Whether a file name's extension says document (for the document listing).
bool is_document_name(const std::string& name);

} // namespace kit::agent
