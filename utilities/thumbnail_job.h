// Thumbnails of the phone's photos for the window: a pulled image decoded at a small size
// on the thread pool and written as a bitmap file the browser shows. The result (0, or
// kThumbnailFailed) goes to an optional script function on the UI thread.
#pragma once
#include <cstdint>
#include <string>

class LuaAsynFunctionCallback;

namespace kit::platform::icons {
struct icon_image;
}

namespace kit::utilities {

constexpr int32_t kThumbnailFailed = 1;

// A 32-bit bottom-up BMP of the image (BGRA, as the decoder gives it).
std::string bmp_file_bytes(const kit::platform::icons::icon_image& image);

// Decodes image at size x size pixels at most (keeping its aspect) and writes the BMP to
// out (whole or not at all); false when the image cannot be decoded or written.
bool write_thumbnail(const std::string& image, const std::string& out, int size);

// Queues write_thumbnail; callback (may be null) is consumed. False when the pool could
// not take the job (the callback is then dropped unanswered).
bool queue_thumbnail(const std::string& image, const std::string& out, int size, LuaAsynFunctionCallback* callback);

} // namespace kit::utilities
