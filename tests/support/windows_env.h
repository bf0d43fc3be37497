// setenv and unsetenv for the Windows build of the tests: the C runtime has _putenv_s,
// which changes both its own copy of the environment and the process's.
#pragma once
#ifdef _WIN32
#include <stdlib.h>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && getenv(name)) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

inline int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }
#endif
