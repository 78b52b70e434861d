#include <gtest/gtest.h>

#include "xdmcp/interfaces.h"

#include <cstring>

namespace {

// The tests run in a network namespace of their own, whose only interface
// is its loopback, up.
TEST(Interfaces, TheKernelsListIsReadWithNamesAndFlags) {
    std::vector<Interface> interfaces = ReadInterfaces();
    ASSERT_EQ(interfaces.size(), 1u);
    const Interface &lo = interfaces[0];
    EXPECT_EQ(lo.index, 1);
    EXPECT_STREQ(lo.name, "lo");
    EXPECT_EQ(lo.flags & (IFF_UP | IFF_LOOPBACK), IFF_UP | IFF_LOOPBACK);
    EXPECT_EQ(lo.flags & IFF_BROADCAST, 0u);
    EXPECT_FALSE(lo.enslaved);
    EXPECT_TRUE(lo.broadcasts.empty()) << "127.0.0.1 has no broadcast address";
}

} // namespace
