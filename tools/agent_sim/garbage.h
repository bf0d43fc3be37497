// Random bytes for the --garbage misbehaviour: a mix of plausible headers with lying
// lengths, huge lengths, truncated strings and noise.
#pragma once
#include <string>

namespace agent_sim {
std::string garbage_bytes(unsigned seed);
}
