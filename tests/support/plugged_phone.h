// A phone on USB as the program's device scan sees it: in a fake sysfs tree on Linux, in a
// SetupAPI recording on Windows. The install is pointed at it. The phone is plugged in
// before the start or later by plug_in, and taken out by unplug; both tell the running
// program as the system would (a line in the device-change FIFO on Linux, WM_DEVICECHANGE
// to the program's device window on Windows).
#pragma once
#include <memory>
#include <string>

#include "support/script_harness.h"
#include "support/temp_dir.h"

namespace testsupport {

class sysfs_fixture;

class plugged_phone {
public:
  enum class when { before_the_start, later };
  plugged_phone(script_install& app, const std::string& serial, when plugged = when::before_the_start,
                const std::string& vid = "18d1", const std::string& pid = "4ee7");
  ~plugged_phone();
  // Plugs the phone in while host runs; false when the program could not be told.
  bool plug_in(const child_process& host);
  // Takes the phone out while host runs; false when the program could not be told.
  bool unplug(const child_process& host);

private:
  void lay_out(bool plugged);
  bool tell(const child_process& host, bool arrival);
  std::string serial_, vid_, pid_;
  temp_dir dir_;
  std::unique_ptr<sysfs_fixture> sysfs_;
  std::string fifo_;
};

} // namespace testsupport
