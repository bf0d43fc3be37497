#pragma once

namespace testsupport {
// Moves the process into a new network namespace with its loopback up. Returns false (and
// changes nothing) where that is not allowed; MOBREVIST_TEST_SHARED_NETWORK=1 skips it.
bool enter_private_network();
// Whether the process runs in a namespace of its own.
bool has_private_network();
} // namespace testsupport
