// Main of every test executable. Each test process first moves into a network namespace
// of its own (when it may), so tests that use the fixed agent ports never meet those of
// another test run on the same machine; the children it starts share that namespace.
#include <gtest/gtest.h>

#include "support/private_network.h"

int main(int argc, char** argv) {
  testsupport::enter_private_network();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
