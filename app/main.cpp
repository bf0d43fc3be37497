#include <csignal>
#include <cstdio>

#include "app/host_config.h"
#include "platform/process_info.h"

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);  // a peer closing a socket is an error value, not a signal
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  kit::platform::set_process_arguments(argc, argv);
  kit::host::host_config config = MakeHostConfig();
  if (kit::host::startup(config)) {
    kit::host::run_message_loop();
    kit::host::shutdown(config);
  }
  return 0;
}
