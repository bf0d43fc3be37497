// The asynchronous unzip job: extract-archive run on the thread pool, its result (0, or
// 0x80004005 on failure) handed to an optional script function on the UI thread.
#pragma once
#include <cstdint>
#include <string>

class LuaAsynFunctionCallback;

namespace kit::utilities {

constexpr int32_t kUnzipFailed = static_cast<int32_t>(0x80004005u);

// Queues the job; callback (may be null) is consumed. Returns the job's number (from 1),
// or 0 when the pool could not take it.
uint32_t queue_unzip(const std::string& archive, const std::string& destination, LuaAsynFunctionCallback* callback);

// The number the last queued job took (0 before the first).
uint32_t last_unzip_job();

} // namespace kit::utilities
