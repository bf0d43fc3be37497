#include "net/asyn_http_file.h"


#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "common/text_convert.h"
#include "net/http_errors.h"
#include "platform/calendar.h"
#include "platform/file.h"

namespace kit::net {

std::string http_date(int64_t unix_seconds) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm = platform::utc_time(static_cast<std::time_t>(unix_seconds));
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[tm.tm_wday % 7], tm.tm_mday,
                kMonths[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return text;
}

namespace {
// Headers found by name in any letter case, as servers send them.
std::string header_value(const header_list& headers, const char* name) {
  const std::string* value = headers.find_nocase(name);
  return value ? *value : std::string();
}

// A length header as 64 bits (the parser has refused malformed ones); 0 when absent.
uint64_t header_number(const header_list& headers, const char* name) {
  int64_t value = 0;
  return parse_decimal_u63(header_value(headers, name), &value) ? static_cast<uint64_t>(value) : 0;
}

// The range start of a Content-Range value: the number between its first space and its
// first "-" ("bytes 1000-1999/2000" gives 1000); 0 without the header. False for a value
// whose start is no position.
bool range_start_of(const header_list& headers, uint64_t* start) {
  *start = 0;
  const std::string* value = headers.find_nocase("Content-Range");
  if (!value) return true;
  size_t space = value->find(' ');
  size_t dash = space == std::string::npos ? std::string::npos : value->find('-', space + 1);
  int64_t position = 0;
  if (dash == std::string::npos ||
      !parse_decimal_u63(std::string_view(*value).substr(space + 1, dash - space - 1), &position))
    return false;
  *start = static_cast<uint64_t>(position);
  return true;
}

// Modification time of an existing regular file that can be opened for reading.
bool modification_time(const std::string& path, int64_t* seconds) {
  platform::file f;
  if (!f.open(path, platform::open_read | platform::open_non_blocking)) return false;
  auto info = f.info();
  if (!info || info->kind != platform::file_kind::regular) return false;
  *seconds = info->modified;
  return true;
}

bool exists_not_directory(const std::string& path) {
  auto info = platform::path_info(path);
  return info && info->kind != platform::file_kind::directory;
}
} // namespace

asyn_http_file::asyn_http_file(asyn_http_file_event* sink) : sink_(sink), http_(this) {
  // A server that answers its header a byte at a time fails in the end; the body of a
  // large file may take as long as it takes while bytes keep coming.
  http_.set_deadline(std::chrono::minutes(10), false);
}

asyn_http_file::~asyn_http_file() { close(); }

bool asyn_http_file::request_file(const header_list& headers, const std::string& path, int32_t id,
                                  const std::string& url, bool if_modified) {
  if (path.empty() || url.empty() || is_requesting()) return false;
  header_list request_headers = headers;
  std::string destination = path;
  int64_t mtime = 0;
  if (if_modified && modification_time(destination, &mtime)) request_headers.set("If-Modified-Since", http_date(mtime));
  if (!http_.request(id, url, request_headers)) return false;
  id_ = id;
  url_ = url;
  path_ = path;
  temp_path_ = destination + ".tmp";
  file_.close();
  written_ = total_ = range_start_ = 0;
  return true;
}

void asyn_http_file::reset() {
  file_.close();
  id_ = 0;
  url_.clear();
  path_.clear();
  temp_path_.clear();
  written_ = total_ = range_start_ = 0;
}

void asyn_http_file::close() {
  http_.close();
  reset();
}

void asyn_http_file::report_ready(uint64_t size, int result) {
  int32_t id = id_;
  std::string url = url_;
  std::string path = path_;
  reset();
  sink_->on_ready(id, url, size, path, result);
}

void asyn_http_file::report_failure(download_error error) {
  last_failure_ = error;
  int32_t id = id_;
  std::string url = url_;
  http_.close();
  reset();
  sink_->on_error(id, url, error);
}

// Opens the ".tmp" at the range start. An answer without Content-Range is the whole file,
// so what an earlier transfer left there is dropped; a range that starts beyond the
// ".tmp"'s end would leave a hole of zeros and is refused with 416, the file untouched.
std::optional<download_error> asyn_http_file::open_temp(const http_response& response) {
  platform::file f;
  auto system_error = [] { return download_error{download_error::source::file_system, platform::last_system_error()}; };
  // Only a regular file of ours is continued: anything else standing at the ".tmp" (a link
  // above all, which would carry the bytes elsewhere) is removed and the file made anew.
  if (auto info = platform::path_info(temp_path_, false); info && info->kind != platform::file_kind::regular) {
    if (!platform::remove_file(temp_path_)) return system_error();
  }
  if (!f.open(temp_path_, platform::open_write | platform::open_create | platform::open_no_follow)) return system_error();
  std::optional<platform::file_info> info;
  if (!f.try_lock() || !(info = f.info())) return system_error();
  if (!response.headers.find_nocase("Content-Range")) {
    if (!f.truncate(0)) return system_error();
  } else if (range_start_ > info->size) {
    return download_error{download_error::source::http_status, kRangeNotSatisfiable};
  }
  if (!f.seek(range_start_)) return system_error();
  file_ = std::move(f);
  return std::nullopt;
}

void asyn_http_file::on_body(int32_t, http_response& response, const char* data, size_t length, uint64_t,
                             bool* keep) {
  if (response.status != 200 && response.status != 206) return;
  *keep = false;
  if (!range_start_of(response.headers, &range_start_)) {
    report_failure({download_error::source::client, kHttpBadHeader});
    return;
  }
  total_ = range_start_ + header_number(response.headers, "Content-Length");
  written_ += length;
  if (!file_.is_open()) {
    if (std::optional<download_error> error = open_temp(response)) {
      report_failure(*error);
      return;
    }
  }
  if (!file_.write_all(data, length)) {
    int error = platform::last_system_error();
    report_failure({download_error::source::file_system, error ? error : EIO});
    return;
  }
  sink_->on_progress(id_, range_start_, written_, total_);
}

void asyn_http_file::on_response(int32_t, http_response& response) {
  int status = response.status;
  if (status == 200 || status == 206) {
    total_ = header_number(response.headers, "Content-Length");
    std::string destination = path_;
    if (written_ > 0) {
      // The bytes reach the disk before the name does, and one rename replaces the older
      // destination: at every moment the destination is either the old or the new file.
      // A resumed ".tmp" may hold bytes of an earlier, longer answer past what this one ends
      // with: they are cut before the file becomes the destination.
      std::optional<uint64_t> end = file_.position();
      int error = end && file_.truncate(*end) && file_.sync() ? 0 : platform::last_system_error();
      file_.close();
      if (!error && !platform::rename_path(temp_path_, destination)) error = platform::last_system_error();
      if (error) {
        report_failure({download_error::source::file_system, error});
        return;
      }
    } else {
      platform::file empty;
      if (!empty.open(destination, platform::open_write | platform::open_create | platform::open_truncate)) {
        report_failure({download_error::source::file_system, platform::last_system_error()});
        return;
      }
    }
    report_ready(range_start_ + total_, asyn_http_file_event::kDownloaded);
  } else if (status == 304) {
    total_ = header_number(response.headers, "Content-Length");
    report_ready(range_start_ + total_, asyn_http_file_event::kNotModified);
  } else {
    report_failure({download_error::source::http_status, status});
  }
}

void asyn_http_file::on_error(int32_t, int error) {
  last_failure_ = {download_error::source::client, error};
  if (exists_not_directory(path_)) {
    report_ready(range_start_ + total_, asyn_http_file_event::kOlderFileKept);
  } else {
    report_failure({download_error::source::client, error});
  }
}

} // namespace kit::net
