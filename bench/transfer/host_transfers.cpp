#include "host_transfers.h"

#include "bench_support.h"
#include "common/singleton_ex.h"
#include "host/message_window.h"
#include "phonelink/get_file_manager.h"
#include "phonelink/send_file_manager.h"
#include "platform/ui_loop.h"

using kit::design_pattern::singleton_ex;

namespace transfer_bench {

host_transfers::host_transfers() {
  singleton_ex<CMessageWindow>::acquire()->Create("OtterMessageWnd");
  send_ = new CLuaSendFile;
  get_ = new CLuaGetFile;
  send_->Init();
  get_->Init();
}

host_transfers::~host_transfers() {
  get_->UnInit();
  send_->UnInit();
  delete get_;
  delete send_;
  if (CMessageWindow* w = singleton_ex<CMessageWindow>::peek()) w->Destroy();
  singleton_ex<CMessageWindow>::release();
}

double host_transfers::push(const std::string& source, const std::string& destination) {
  auto& loop = kit::platform::ui_loop::instance();
  loop.restart();
  uint32_t final_status = 0;
  uint64_t start = now_ns();
  send_->AddTask(kit::agent::transfer::kPushCommon, destination, source,
                 [&](uint32_t, uint32_t status, uint32_t, const std::string&) {
                   if (status == kit::host::kTaskRunning) return;
                   final_status = status;
                   loop.stop();
                 });
  loop.run();
  double seconds = seconds_since(start);
  return final_status == kit::host::kTaskDone ? seconds : -1;
}

double host_transfers::pull(const std::string& remote, const std::string& local) {
  auto& loop = kit::platform::ui_loop::instance();
  loop.restart();
  uint32_t final_status = 0;
  uint64_t start = now_ns();
  get_->AddTask(kit::agent::transfer::kPullFile, remote, local, [&](uint32_t, uint32_t status, const std::string&, uint64_t) {
    if (status == kit::host::kTaskRunning) return;
    final_status = status;
    loop.stop();
  });
  loop.run();
  double seconds = seconds_since(start);
  return final_status == kit::host::kTaskDone ? seconds : -1;
}

} // namespace transfer_bench
