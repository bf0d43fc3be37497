#include "utilities/async_unzip.h"

#include <atomic>

#include "archive/extract_archive.h"
#include "utilities/pool_job.h"

namespace kit::utilities {

namespace {
std::atomic<uint32_t> g_last_job{0};
} // namespace

uint32_t queue_unzip(const std::string& archive, const std::string& destination, LuaAsynFunctionCallback* callback) {
  uint32_t number = ++g_last_job;
  bool queued = queue_pool_job(
      [archive, destination] { return kit::archive::extract_archive(archive, destination, {}) ? 0 : kUnzipFailed; },
      callback);
  return queued ? number : 0;
}

uint32_t last_unzip_job() { return g_last_job.load(); }

} // namespace kit::utilities
