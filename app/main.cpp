#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line_info.h"
#include "app/host_config.h"
#include "platform/process_info.h"
#include "platform/ui_loop.h"

int main(int argc, char** argv) {
#ifdef SIGPIPE
  std::signal(SIGPIPE, SIG_IGN);  // a peer closing a socket is an error value, not a signal
#endif
  std::vector<std::string> args = kit::platform::utf8_arguments(argc, argv);
  std::vector<char*> utf8_argv;
  for (std::string& arg : args) utf8_argv.push_back(arg.data());
  utf8_argv.push_back(nullptr);
  argc = static_cast<int>(args.size());
  argv = utf8_argv.data();
#ifdef _WIN32
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // the Windows C library has no line buffering
#else
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
#endif
  std::string exe = kit::platform::executable_path();
  if (auto answer = kit::app::info_request(argc, argv, exe.substr(0, exe.find_last_of('/') + 1))) {
    std::fputs(answer->text.c_str(), answer->exit_code == 0 ? stdout : stderr);
    return answer->exit_code;
  }
  kit::platform::set_process_arguments(argc, argv);
  kit::host::host_config config = MakeHostConfig();
  if (kit::host::startup(config)) {
    kit::host::run_message_loop();
    kit::host::shutdown(config);
  }
  return kit::platform::ui_loop::instance().exit_code();
}
