// Push and pull through the host's own managers, driven on a UI loop in this process the
// way the scripts drive them.
#pragma once
#include <string>

class CLuaGetFile;
class CLuaSendFile;

namespace transfer_bench {

class host_transfers {
public:
  host_transfers();
  ~host_transfers();
  // Each returns the seconds from the request to the final status, or a negative value
  // when the transfer did not finish.
  double push(const std::string& source, const std::string& destination);
  double pull(const std::string& remote, const std::string& local);

private:
  CLuaSendFile* send_;
  CLuaGetFile* get_;
};

} // namespace transfer_bench
