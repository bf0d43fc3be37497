#include "options.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace agent_sim {

namespace {
bool apply_flag(const std::string& name, options& o) {
  if (name == "split") o.split = true;
  else if (name == "close-early") o.close_early = true;
  else if (name == "garbage") o.garbage = true;
  else if (name == "silent") o.silent = true;
  else if (name == "endless-frame") o.endless_frame = true;
  else return false;
  return true;
}

void usage() {
  std::fprintf(stderr,
               "usage: agent-sim [--data FILE] [--host ADDRESS] [--ports R,PULL,PUSH,N] [--split] [--close-early] [--garbage] [--silent]"
               " [--seed N]\n"
               "       [--flood N] [--endless-frame]\n"
               "  AGENT_SIM_MISBEHAVE=split,close-early,garbage,silent sets the same flags.\n");
}
} // namespace

bool parse_options(int argc, char** argv, options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--data" && i + 1 < argc) {
      o.data_file = argv[++i];
    } else if (a == "--host" && i + 1 < argc) {
      o.host = argv[++i];
    } else if (a == "--flood" && i + 1 < argc) {
      o.flood = std::strtoull(argv[++i], nullptr, 10);
    } else if (a == "--ports" && i + 1 < argc) {
      unsigned p[4];
      char tail;
      if (std::sscanf(argv[++i], "%u,%u,%u,%u%c", &p[0], &p[1], &p[2], &p[3], &tail) != 4 || p[0] > 65535 ||
          p[1] > 65535 || p[2] > 65535 || p[3] > 65535) {
        usage();
        return false;
      }
      for (int k = 0; k < 4; ++k) o.ports[k] = static_cast<unsigned short>(p[k]);
    } else if (a == "--seed" && i + 1 < argc) {
      o.seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (a.rfind("--", 0) == 0 && apply_flag(a.substr(2), o)) {
    } else {
      usage();
      return false;
    }
  }
  if (const char* env = std::getenv("AGENT_SIM_MISBEHAVE")) {
    std::stringstream list(env);
    std::string item;
    while (std::getline(list, item, ','))
      if (!item.empty() && !apply_flag(item, o)) {
        usage();
        return false;
      }
  }
  return true;
}

} // namespace agent_sim
