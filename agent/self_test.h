// --self-test: what works on the phone the agent runs on, one line per capability with
// the reason for each "no". Reads only; nothing on the phone is changed.
#pragma once
#include <string>

#include "agent/android_source.h"

namespace kit::agent {

std::string self_test_report(android_source& phone);

} // namespace kit::agent
