#include "app/app_help_object.h"

#include "host/host_startup.h"
#include "host/message_window.h"
#include "host/share_memory.h"

CLuaAppeHelp::CLuaAppeHelp() {
  if (CMessageWindow* window = GetMessageWindow()) timer_id_ = window->AddTimerHandler(this);
}

CLuaAppeHelp::~CLuaAppeHelp() {
  if (CMessageWindow* window = GetMessageWindow(); window && timer_id_ != 0) window->RemoveTimerHandler(timer_id_);
  // Deleting an event gives back its script function.
  for (LuaEventContainer* listeners : {&pre_exit_listeners, &exit_listeners, &command_listeners}) {
    for (uint32_t cookie : listeners->Cookies()) {
      CLuaEvent* event = nullptr;
      listeners->RemoveEvent(cookie, &event);
      delete event;
    }
  }
}


std::vector<std::u16string> CLuaAppeHelp::TakeHandedOverCommandLines() {
  std::vector<std::u16string> lines;
  kit::multiprocess::share_memory block;
  if (!block.open(kit::multiprocess::share_memory::mode::client)) return lines;
  if (!block.lock_guard(-1)) return lines;
  const char16_t* data = block.data_area();
  const uint32_t capacity = block.capacity();
  const size_t n = capacity / 2 > 0 ? capacity / 2 - 1 : 0;
  size_t start = 0;
  for (size_t i = 0; i < n; ++i) {
    if (data[i] != 0) continue;
    if (start != i) lines.emplace_back(data + start, i - start);
    if (data[i + 1] == 0) break;
    start = i + 1;
  }
  block.Clear(block.data_area(), capacity);
  block.unlock_guard();
  return lines;
}

void CLuaAppeHelp::OnTimer(uint32_t) {
  // The listeners run after the block was emptied and released, so a later start never
  // waits for a script.
  for (const auto& line : TakeHandedOverCommandLines()) {
    if (command_handler) command_handler(kit::host::parse_switches(line));
  }
}
