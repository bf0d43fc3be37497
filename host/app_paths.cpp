#include "host/app_paths.h"


#include "platform/file.h"
#include "platform/private_dir.h"
#include "platform/user_dirs.h"
#include "platform/process_info.h"
#include "platform/runtime_dir.h"

namespace {
// Beside the program when that folder exists or can be made there (a portable install);
// otherwise in the user's data folder (an install the user cannot write to). Made here, so
// that what keeps files in it works on a first run.
std::string choose_profile_dir(const std::string& exe_dir) {
  if (!exe_dir.empty()) {
    std::string beside = exe_dir + "Profiles";
    if (kit::platform::make_directory(beside, 0700)) return beside + "/";
  }
  std::string data = kit::platform::user_data_dir();
  if (!data.empty()) {
    std::string dir = data + "Mobrevist/Profiles";
    if (kit::platform::make_directories(dir, 0700)) return dir + "/";
  }
  return exe_dir + "Profiles/";
}

} // namespace

void CAppPaths::FillFromExecutable(const std::string& exe_path) {
  auto slash = exe_path.find_last_of('/');
  exe_dir_ = slash == std::string::npos ? std::string() : exe_path.substr(0, slash + 1);
  base_dir_ = exe_dir_;
  profile_dir_ = choose_profile_dir(base_dir_);
  package_dir_ = base_dir_ + "uipkg";
  temp_dir_ = kit::platform::private_temp_dir("Mobrevist");
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
