// A phone plugged in over USB before the program starts, as the program's device scan sees
// it: in a fake sysfs tree on Linux, in a SetupAPI recording on Windows. The install is
// pointed at it.
#pragma once
#include <memory>
#include <string>

#include "support/script_harness.h"
#include "support/temp_dir.h"

namespace testsupport {

class sysfs_fixture;

class plugged_phone {
public:
  plugged_phone(script_install& app, const std::string& serial, const std::string& vid = "18d1",
                const std::string& pid = "4ee7");
  ~plugged_phone();

private:
  temp_dir dir_;
  std::unique_ptr<sysfs_fixture> sysfs_;
};

} // namespace testsupport
