#include <csignal>
#include <cstdio>
#include <string>

#include "app/command_line_info.h"
#include "app/host_config.h"
#include "platform/process_info.h"

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);  // a peer closing a socket is an error value, not a signal
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::string exe = kit::platform::executable_path();
  if (auto text = kit::app::info_request(argc, argv, exe.substr(0, exe.find_last_of('/') + 1))) {
    std::fputs(text->c_str(), stdout);
    return 0;
  }
  kit::platform::set_process_arguments(argc, argv);
  kit::host::host_config config = MakeHostConfig();
  if (kit::host::startup(config)) {
    kit::host::run_message_loop();
    kit::host::shutdown(config);
  }
  return 0;
}
