#include "utilities/thumbnail_job.h"

#include "platform/file.h"
#include "platform/file_type_icons.h"
#include "utilities/pool_job.h"

namespace kit::utilities {

bool write_thumbnail(const std::string& image, const std::string& out, int size) {
  std::string bytes, format;
  if (!kit::platform::icons::encode_thumbnail(image, size, bytes, format)) return false;
  return kit::platform::replace_file(out, bytes);
}

bool queue_thumbnail(const std::string& image, const std::string& out, int size, LuaAsynFunctionCallback* callback) {
  return queue_pool_job([image, out, size] { return write_thumbnail(image, out, size) ? 0 : kThumbnailFailed; },
                        callback);
}

} // namespace kit::utilities
