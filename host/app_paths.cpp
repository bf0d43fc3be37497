#include "host/app_paths.h"

#include <sys/stat.h>

#include "platform/process_info.h"

void CAppPaths::FillFromExecutable(const std::string& exe_path) {
  auto slash = exe_path.find_last_of('/');
  exe_dir_ = slash == std::string::npos ? std::string() : exe_path.substr(0, slash + 1);
  base_dir_ = exe_dir_;
  profile_dir_ = base_dir_ + "Profiles/";
  package_dir_ = base_dir_ + "uipkg";
  std::string tmp = kit::platform::temp_path();
  if (tmp.empty()) {
    temp_dir_.clear();
  } else {
    temp_dir_ = tmp + "Mobrevist";
    ::mkdir(temp_dir_.c_str(), 0755);
    temp_dir_ += "/";
  }
  filled_ = true;
}

void CAppPaths::Fill() {
  if (!filled_) FillFromExecutable(kit::platform::executable_path());
}

std::string CAppPaths::GetExeDir() {
  Fill();
  return exe_dir_;
}
std::string CAppPaths::GetBaseDir() {
  Fill();
  return base_dir_;
}
std::string CAppPaths::GetProfileDir() {
  Fill();
  return profile_dir_;
}
std::string CAppPaths::GetTempDir() {
  Fill();
  return temp_dir_;
}
std::string CAppPaths::GetScriptPackageDir() {
  Fill();
  return package_dir_;
}
