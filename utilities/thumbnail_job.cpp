#include "utilities/thumbnail_job.h"

#include <utility>

#include "host/script_bridge.h"
#include "host/thread_pool.h"
#include "platform/file.h"
#include "platform/file_type_icons.h"

namespace kit::utilities {

namespace {

void put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xff));
  s.push_back(static_cast<char>((v >> 8) & 0xff));
}
void put32(std::string& s, uint32_t v) {
  put16(s, v & 0xffff);
  put16(s, v >> 16);
}

class thumbnail_job final : public IWorkItem, IWorkerRoutine, IRoutineCallback, IWorItemClean {
public:
  thumbnail_job(std::string image, std::string out, int size, LuaAsynFunctionCallback* callback)
      : image_(std::move(image)), out_(std::move(out)), size_(size), callback_(callback) {
    routine = this;
    completion = this;
    cleanup = this;
  }

  int32_t Run(void*) override { return write_thumbnail(image_, out_, size_) ? 0 : kThumbnailFailed; }

  void OnDone(IWorkItem* item) override {
    if (LuaAsynFunctionCallback* callback = std::exchange(callback_, nullptr)) callback->OnDone(item);
    Clean(item);
  }

  void Clean(IWorkItem*) override { delete this; }

private:
  ~thumbnail_job() override { delete callback_; }
  std::string image_, out_;
  int size_;
  LuaAsynFunctionCallback* callback_;
};

} // namespace

std::string bmp_file_bytes(const kit::platform::icons::icon_image& image) {
  const uint32_t pixels = static_cast<uint32_t>(image.width) * static_cast<uint32_t>(image.height) * 4;
  std::string s;
  s.reserve(54 + pixels);
  s += "BM";
  put32(s, 54 + pixels);  // file size
  put32(s, 0);
  put32(s, 54);  // where the pixels start
  put32(s, 40);  // BITMAPINFOHEADER
  put32(s, static_cast<uint32_t>(image.width));
  put32(s, static_cast<uint32_t>(image.height));  // positive: the last row first
  put16(s, 1);
  put16(s, 32);
  put32(s, 0);  // no compression
  put32(s, pixels);
  put32(s, 2835);  // 72 dpi
  put32(s, 2835);
  put32(s, 0);
  put32(s, 0);
  const size_t row = static_cast<size_t>(image.width) * 4;
  for (int y = image.height - 1; y >= 0; --y)
    s.append(reinterpret_cast<const char*>(image.bgra.data()) + static_cast<size_t>(y) * row, row);
  return s;
}

bool write_thumbnail(const std::string& image, const std::string& out, int size) {
  kit::platform::icons::icon_image decoded;
  if (!kit::platform::icons::decode_icon_file(image, size, decoded, kit::platform::icons::pixel_order::bgra_premultiplied) ||
      decoded.width <= 0 || decoded.height <= 0 ||
      decoded.bgra.size() != static_cast<size_t>(decoded.width) * decoded.height * 4)
    return false;
  return kit::platform::replace_file(out, bmp_file_bytes(decoded));
}

bool queue_thumbnail(const std::string& image, const std::string& out, int size, LuaAsynFunctionCallback* callback) {
  auto* job = new thumbnail_job(image, out, size, callback);
  if (CThreadPool::Instance().Post(job) != S_OK) {
    job->Clean(job);
    return false;
  }
  return true;
}

} // namespace kit::utilities
