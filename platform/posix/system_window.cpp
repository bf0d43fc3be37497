// No system windows here: the message window lives on the UI loop alone.
#include "platform/system_window.h"

namespace kit::platform {

std::unique_ptr<system_window> system_window::make(const std::string&, procedure) { return nullptr; }

} // namespace kit::platform
