// Windows has no network namespaces: tests that bind the fixed ports hold their CTest
// resource lock instead.
#include "support/private_network.h"

namespace testsupport {
bool enter_private_network() { return false; }
bool has_private_network() { return false; }
} // namespace testsupport
