// The unit tests run in a network namespace of their own, with only a
// loopback interface: they may bind the XDMCP port and query "BROADCAST"
// without anything leaving the machine's own namespace.
#include <gtest/gtest.h>

#include "tests/lab/isolate.h"

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    // Name look-ups run on threads of their own: a death test's child is
    // started afresh rather than forked from a process that has them.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    if (!IsolateNetwork())
        return 1;
    return RUN_ALL_TESTS();
}
