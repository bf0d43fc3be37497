#include "net/data_report_manager.h"

#include "common/ini_file.h"
#include "common/percent_encoding.h"
#include "host/app_paths.h"
#include "host/host_startup.h"
#include "net/machine_identifier.h"

namespace kit::net {

std::string report_url(const std::string& endpoint, const std::string& machine_id,
                       const std::map<std::string, std::string>& fields) {
  std::string url = endpoint;
  url += endpoint.find('?') == std::string::npos ? '?' : '&';
  url += "mid=" + text::percent_encode(machine_id);
  for (const auto& [name, value] : fields) url += "&" + text::percent_encode(name) + "=" + text::percent_encode(value);
  return url;
}

CLuaDataReport::CLuaDataReport() : machine_id_(machine_identifier()), client_(this) {}

CLuaDataReport::~CLuaDataReport() { client_.close(); }

void CLuaDataReport::Report(const std::map<std::string, std::string>& fields) {
  CAppPaths* paths = GetAppPaths();
  if (!paths) return;
  auto endpoint = ini::read_value(paths->GetExeDir() + "config.ini", "Report", "url");
  if (!endpoint || endpoint->empty()) return;  // nothing leaves the machine unless asked
  queue_.push_back(report_url(*endpoint, machine_id_, fields));
  SendNext();
}

void CLuaDataReport::SendNext() {
  if (client_.is_requesting()) return;
  client_.close();
  while (!queue_.empty()) {
    std::string url = std::move(queue_.front());
    queue_.pop_front();
    if (client_.request(static_cast<int32_t>(++counter_), url)) return;
  }
}

} // namespace kit::net
