// The backup work as the functions AppHelp.Object calls (host/backup_methods.h), working
// in the profile directory of the running program.
#pragma once
#include "host/backup_methods.h"

namespace kit::backup {
kit::host::backup_methods script_backup_methods();
} // namespace kit::backup
