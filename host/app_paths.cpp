#include "host/app_paths.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/private_dir.h"
#include "platform/process_info.h"
#include "platform/runtime_dir.h"

namespace {
bool is_dir(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes dir and the folders above it that are missing (new ones private); true when dir
// then is a folder.
bool make_dirs(const std::string& dir) {
  for (size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1)) {
    ::mkdir(dir.substr(0, slash).c_str(), 0700);
  }
  ::mkdir(dir.c_str(), 0700);
  return is_dir(dir);
}

// $XDG_DATA_HOME, else ~/.local/share; with "/", empty when neither is known.
std::string user_data_dir() {
  std::string base;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) {
    base = data;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.local/share";
  }
  if (!base.empty() && base.back() != '/') base += '/';
  return base;
}

// Beside the program when that folder exists or can be made there (a portable install);
// otherwise in the user's data folder (an install the user cannot write to). Made here, so
// that what keeps files in it works on a first run.
std::string choose_profile_dir(const std::string& exe_dir) {
  if (!exe_dir.empty()) {
    std::string beside = exe_dir + "Profiles";
    ::mkdir(beside.c_str(), 0700);
    if (is_dir(beside)) return beside + "/";
  }
  std::string data = user_data_dir();
  if (!data.empty()) {
    std::string dir = data + "Mobrevist/Profiles";
    if (make_dirs(dir)) return dir + "/";
  }
  return exe_dir + "Profiles/";
}

// $TMPDIR (else /tmp) + "Mobrevist-<uid>", made for this user only. The temp folder is
// shared by every user of the machine: a folder there that is not safely ours is refused
// for one in the per-user runtime folder. Empty when neither can be used.
std::string choose_temp_dir() {
  std::string tmp = kit::platform::temp_path();
  if (tmp.empty()) return {};
  std::string dir = tmp + "Mobrevist-" + std::to_string(::geteuid());
  if (kit::platform::ensure_private_dir(dir)) return dir + "/";
  std::string run = kit::platform::runtime_dir();
  if (run.empty()) return {};
  dir = run + "/Mobrevist";
  return kit::platform::ensure_private_dir(dir) ? dir + "/" : std::string();
}
} // namespace

void CAppPaths::FillFromExecutable(const std::string& exe_path) {
  auto slash = exe_path.find_last_of('/');
  exe_dir_ = slash == std::string::npos ? std::string() : exe_path.substr(0, slash + 1);
  base_dir_ = exe_dir_;
  profile_dir_ = choose_profile_dir(base_dir_);
  package_dir_ = base_dir_ + "uipkg";
  temp_dir_ = choose_temp_dir();
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
