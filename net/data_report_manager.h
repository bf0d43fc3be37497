// "DataReport.Manager": usage reports. Report collects the string and number entries of a
// table; only when key "url" of section "[Report]" in the program folder's config.ini names
// an endpoint is a GET of that URL queued, carrying "mid=<machine identifier>" and the
// fields (percent-encoded, in field-name order) as query parameters. Queued reports are
// sent one at a time, each on a fresh connection; replies are not examined.
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <string>

#include "net/asyn_http.h"

namespace kit::net {

// The report URL: endpoint + "?" (or "&" when it has a query) + mid and the fields.
std::string report_url(const std::string& endpoint, const std::string& machine_id,
                       const std::map<std::string, std::string>& fields);

class CLuaDataReport : public asyn_http_event {
public:

  CLuaDataReport();
  ~CLuaDataReport() override;

  const std::string& MachineId() const { return machine_id_; }
  void Report(const std::map<std::string, std::string>& fields);

  void on_response(int32_t, http_response&) override { SendNext(); }
  void on_error(int32_t, int) override { SendNext(); }

private:
  void SendNext();

  std::string machine_id_;
  std::deque<std::string> queue_;
  uint32_t counter_ = 0;
  asyn_http client_;
};

} // namespace kit::net
