// The program's folders, filled together on first query. Paths use "/" and the folder
// values end with "/" (the package folder does not). Filling makes the profile folder
// (beside the program, else $XDG_DATA_HOME/Mobrevist/Profiles) and the temp folder
// ($TMPDIR/Mobrevist-<uid>, else Mobrevist in the runtime folder, for this user only).
#pragma once
#include <string>

class CAppPaths {
public:
  std::string GetExeDir();
  std::string GetBaseDir();
  std::string GetProfileDir();
  std::string GetTempDir();
  std::string GetScriptPackageDir();

  // Fills the paths from a given program file instead of the running one (tests).
  void FillFromExecutable(const std::string& exe_path);

private:
  void Fill();
  bool filled_ = false;
  std::string exe_dir_, base_dir_, profile_dir_, temp_dir_, package_dir_;
};
