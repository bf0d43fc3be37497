#pragma once
#include "host/host_startup.h"

// The managers created at start-up and the script objects, for the host skeleton.
kit::host::host_config MakeHostConfig();
