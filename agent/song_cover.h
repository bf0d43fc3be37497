// The cover picture of a song file: the attached picture of its ID3 tag (versions 2.3 and
// 2.4), found by reading frame headers only, so a tag of many megabytes costs a few reads.
// The front cover is preferred to any other picture. Pictures are offered only where the
// tag stores them plainly (no unsynchronisation, compression or encryption) and they are
// JPEG or PNG, so the bytes can be sent as they lie in the file.
#pragma once
#include <optional>

#include "agent/apk_icon.h"

namespace kit::agent {

// The largest cover offered.
constexpr uint32_t kMaxCoverBytes = 4u << 20;

// The cover of the song file open as fd; nullopt when it has none offered.
std::optional<icon_bytes> find_song_cover(int fd);

} // namespace kit::agent
