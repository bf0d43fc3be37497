// Thumbnails of the phone's photos for the window: a pulled image drawn small on the thread
// pool and written as a JPEG (PNG where no JPEG encoder is installed) the browser shows. The
// result (0, or kThumbnailFailed) goes to an optional script function on the UI thread.
#pragma once
#include <cstdint>
#include <string>

class LuaAsynFunctionCallback;

namespace kit::utilities {

constexpr int32_t kThumbnailFailed = 1;

// Draws image at size x size pixels at most (keeping its aspect) and writes the small
// picture to out (whole or not at all); false when it cannot be decoded or written.
bool write_thumbnail(const std::string& image, const std::string& out, int size);

// Queues write_thumbnail; callback (may be null) is consumed. False when the pool could
// not take the job (the callback is then dropped unanswered).
bool queue_thumbnail(const std::string& image, const std::string& out, int size, LuaAsynFunctionCallback* callback);

} // namespace kit::utilities
