// The arguments main() received and the command line made of them, the same on every system.
#include "platform/process_info.h"

namespace kit::platform {

namespace {
std::vector<std::string>& process_arguments() {
  static std::vector<std::string> args;
  return args;
}

std::string quote_argument(const std::string& arg) {
  if (arg.find(' ') == std::string::npos && arg.find('\t') == std::string::npos && !arg.empty()) return arg;
  size_t quote_from = 0;
  if (arg.size() > 1 && (arg[0] == '-' || arg[0] == '/')) {
    auto colon = arg.find(':');
    auto blank = arg.find_first_of(" \t");
    if (colon != std::string::npos && colon < blank) quote_from = colon + 1;
  }
  std::string out;
  out.reserve(arg.size() + 2);
  out.append(arg, 0, quote_from);
  out.push_back('"');
  out.append(arg, quote_from, std::string::npos);
  out.push_back('"');
  return out;
}
} // namespace

void set_process_arguments(int argc, char** argv) {
  auto& args = process_arguments();
  args.clear();
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
}

std::string join_command_line(const std::string& program, const std::vector<std::string>& args) {
  std::string line = quote_argument(program);
  for (const auto& a : args) {
    line.push_back(' ');
    line.append(quote_argument(a));
  }
  return line;
}

std::string full_command_line() { return join_command_line(executable_path(), process_arguments()); }

} // namespace kit::platform
