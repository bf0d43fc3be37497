// Downloads one URL into one file: the body goes straight into "<destination>.tmp" at the
// offset the server's Content-Range names, which replaces the destination when the transfer
// completes. An existing destination is only fetched again when the server has a newer one
// (If-Modified-Since); a caller's "Range" header resumes a partial ".tmp", which is never
// deleted here. UI thread only; every outcome leaves the object idle before its event, so a
// handler may start the next transfer at once.
#pragma once
#include <cstdint>
#include <string>

#include "platform/file.h"

#include "net/asyn_http.h"

namespace kit::net {

// Why a download failed. Each source has its own numbers; scripts receive the number alone,
// as they always did.
struct download_error {
  enum class source {
    client,       // the HTTP client's or the socket's error number (net/http_errors.h, Winsock numbers)
    http_status,  // the server answered with this status
    file_system,  // the system's error number of a file operation
  };
  source from = source::client;
  int code = 0;
};

class asyn_http_file_event {
public:
  enum result_t { kDownloaded = 0, kNotModified = 1, kOlderFileKept = 2 };
  virtual ~asyn_http_file_event() = default;
  virtual void on_ready(int32_t id, const std::string& url, uint64_t size, const std::string& path, int result) = 0;
  virtual void on_error(int32_t id, const std::string& url, const download_error& error) = 0;
  virtual void on_progress(int32_t id, uint64_t range_start, uint64_t written, uint64_t total) {
    (void)id, (void)range_start, (void)written, (void)total;
  }
};

class asyn_http_file : private asyn_http_event {
public:
  // The failure of a range answer that does not continue the ".tmp" where it ends.
  static constexpr int kRangeNotSatisfiable = 416;

  explicit asyn_http_file(asyn_http_file_event* sink);
  ~asyn_http_file() override;

  // Starts the download of url into path. False for an empty path or URL, while a
  // transfer is under way, or when the request cannot be started.
  // With if_modified false no "If-Modified-Since" is sent for an existing path: the file
  // there came from elsewhere, and its date says nothing about url.
  bool request_file(const header_list& headers, const std::string& path, int32_t id, const std::string& url,
                    bool if_modified = true);
  // Abandons the transfer without an event; the ".tmp" keeps what was received.
  void close();
  bool is_requesting() const { return !path_.empty(); }
  // The error of the last request that failed (also one that ended with an older file kept).
  const download_error& last_failure() const { return last_failure_; }

  // The embedded client (its idle time-out may be changed).
  asyn_http& client() { return http_; }

  asyn_http_file(const asyn_http_file&) = delete;
  asyn_http_file& operator=(const asyn_http_file&) = delete;

private:
  void on_response(int32_t id, http_response& response) override;
  void on_error(int32_t id, int error) override;
  void on_body(int32_t id, http_response& response, const char* data, size_t length, uint64_t body_so_far,
               bool* keep) override;

  // Nothing, or why the ".tmp" cannot be used.
  std::optional<download_error> open_temp(const http_response& response);
  void reset();
  void report_ready(uint64_t size_after_range_start, int result);
  void report_failure(download_error error);

  asyn_http_file_event* sink_;
  asyn_http http_;
  int32_t id_ = 0;
  std::string url_;
  std::string path_;
  std::string temp_path_;  // UTF-8
  platform::file file_;
  uint64_t written_ = 0;
  uint64_t total_ = 0;
  uint64_t range_start_ = 0;
  download_error last_failure_;
};

// "%a, %d %b %Y %H:%M:%S GMT" of a UTC time with English names whatever the locale.
std::string http_date(int64_t unix_seconds);

} // namespace kit::net
