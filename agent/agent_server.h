// The agent's four ports: requests (12186 on the phone), pull (12176), push (12166) and
// notifications (12156), each accepted on a thread of its own and each connection served
// on its own thread.
#pragma once
#include <string>

#include "agent/agent_options.h"
#include "agent/phone_paths.h"
#include "agent/phone_source.h"

namespace kit::agent {

class agent_server {
public:
  agent_server(const agent_options& options, phone_source& source, phone_paths paths)
      : options_(options), source_(source), paths_(std::move(paths)) {}

  // Opens the four listening sockets; false with why when one cannot be opened (another
  // agent still holds it, a port in use).
  bool listen(std::string& why);
  // Serves until the process ends.
  void run();

private:
  void accept_loop(int listener, int which);
  void serve(int fd, int which);
  void serve_notifications(int fd);

  const agent_options& options_;
  phone_source& source_;
  phone_paths paths_;
  int listeners_[4] = {-1, -1, -1, -1};
};

} // namespace kit::agent
