#include <gtest/gtest.h>

#include "xdmcp/targets.h"

#include <arpa/inet.h>
#include <net/if.h>

#include <string>
#include <vector>

#include "tests/alloc_fail.h"
#include "tests/events.h"

namespace {

// A socket address at the XDMCP port as text: "10.0.0.1", or "[fe80::1%7]"
// with the interface's index; "port N" at any other port.
std::string Text(const sockaddr_storage &address) {
    char text[INET6_ADDRSTRLEN];
    if (address.ss_family == AF_INET) {
        const auto *in = reinterpret_cast<const sockaddr_in *>(&address);
        if (ntohs(in->sin_port) != kXdmcpPort)
            return "port " + std::to_string(ntohs(in->sin_port));
        return inet_ntop(AF_INET, &in->sin_addr, text, sizeof(text));
    }
    const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(&address);
    if (ntohs(in6->sin6_port) != kXdmcpPort)
        return "port " + std::to_string(ntohs(in6->sin6_port));
    std::string shown =
        inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof(text));
    if (in6->sin6_scope_id != 0)
        shown += "%" + std::to_string(in6->sin6_scope_id);
    return "[" + shown + "]";
}

// What ChooseTarget makes of an argument: "BROADCAST", "name", or an
// address with the kind of its query.
std::string Chosen(const char *argument,
                   const std::vector<Interface> &interfaces) {
    TargetChoice choice = ChooseTarget(argument, interfaces);
    if (choice.refusal != nullptr)
        return std::string("refused: ") + choice.refusal;
    std::string kind = choice.kind == TargetKind::kGroup ? " B" : " Q";
    if (choice.kind == TargetKind::kName)
        return "name";
    if (choice.kind == TargetKind::kBroadcast)
        return "BROADCAST";
    EXPECT_EQ(choice.addressLength, choice.address.ss_family == AF_INET
                                        ? sizeof(sockaddr_in)
                                        : sizeof(sockaddr_in6));
    return Text(choice.address) + kind;
}

Interface Link(int index, const char *name, unsigned flags, bool ipv6,
               std::vector<const char *> broadcasts, bool enslaved = false) {
    Interface i{};
    i.index = index;
    std::snprintf(i.name, sizeof(i.name), "%s", name);
    i.flags = flags;
    i.ipv6 = ipv6;
    i.enslaved = enslaved;
    for (const char *b : broadcasts) {
        in_addr a;
        inet_pton(AF_INET, b, &a);
        i.broadcasts.push_back(a);
    }
    return i;
}

TEST(TargetChoice, EachArgumentIsABroadcastAnAddressOrAName) {
    const std::vector<Interface> interfaces = {
        Link(1, "lo", IFF_UP | IFF_LOOPBACK, true, {}),
        Link(7, "eth7", IFF_UP | IFF_BROADCAST | IFF_MULTICAST, true, {})};
    const struct {
        const char *argument;
        const char *chosen;
    } cases[] = {
        {"BROADCAST", "BROADCAST"},
        {"broadcast", "name"},
        {"BROADCASTS", "name"},
        {"0a000001", "10.0.0.1 Q"},
        {"12345678", "18.52.86.120 Q"}, // hexadecimal, never decimal
        {"C0A80001", "name"},           // upper case is a name
        {"10.0.0.1", "10.0.0.1 Q"},
        {"255.255.255.255", "255.255.255.255 Q"}, // asked, not looked up
        {"::1", "[::1] Q"},
        {"fd00::7", "[fd00::7] Q"},
        {"fe80::1%eth7", "[fe80::1%7] Q"},
        {"fe80::1%3", "[fe80::1%3] Q"},
        {"ff02::12b%eth7", "[ff02::12b%7] B"}, // a group: BROADCAST_QUERY
        {"localhost", "name"},
        {"host_1.lab.example.", "name"},
        {"ws-\xc3\xbc.lab", "name"}, // beyond ASCII: the name service decides
        {"10.1", "name"},            // numeric to getaddrinfo alone
        {"fe80::1%nonexistent", "refused: no such interface"},
        {"::", "refused: not an address that can be sent to"},
        {"::ffff:10.0.0.1", "refused: not an address that can be sent to"},
        {"[::1]", "refused: neither an address nor a host name"},
        {"1:2:3:4:5:6:7:8:9", "refused: neither an address nor a host name"},
        {"a..b", "refused: neither an address nor a host name"},
        {"", "refused: neither an address nor a host name"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Chosen(c.argument, interfaces), c.chosen) << c.argument;
    EXPECT_EQ(Chosen(std::string(300, 'n').c_str(), interfaces),
              "refused: neither an address nor a host name");
    EXPECT_EQ(Chosen((std::string(64, 'n') + ".lab").c_str(), interfaces),
              "refused: neither an address nor a host name");
}

TEST(TargetChoice, BroadcastReachesEveryLinkOnce) {
    constexpr unsigned kUp = IFF_UP | IFF_BROADCAST | IFF_MULTICAST;
    using Addresses = std::vector<std::string>;
    const struct {
        std::vector<Interface> interfaces;
        Addresses addresses;
        const char *why;
    } cases[] = {
        {{Link(1, "lo", IFF_UP | IFF_LOOPBACK | IFF_MULTICAST, true, {})},
         {},
         "loopback is no broadcast interface"},
        {{Link(2, "eth0", kUp, false, {"10.0.0.255"})},
         {"10.0.0.255"},
         "an IPv4 link"},
        {{Link(2, "eth0", kUp, false,
               {"10.0.0.255", "10.0.0.255", "10.1.255.255"})},
         {"10.0.0.255", "10.1.255.255"},
         "each broadcast address once per interface"},
        {{Link(2, "eth0", kUp, false, {"10.0.0.255"}),
          Link(3, "eth1", kUp, false, {"10.0.0.255"})},
         {"10.0.0.255", "10.0.0.255"},
         "but on every interface that has it"},
        {{Link(2, "eth0", IFF_BROADCAST | IFF_MULTICAST, true, {"10.0.0.255"})},
         {},
         "an interface that is down"},
        {{Link(2, "eth0", kUp, true, {"0.0.0.0"})},
         {"[ff02::12b%2]"},
         "no broadcast address: IPv6 reaches the link"},
        {{Link(2, "eth0", kUp, true, {}),
          Link(3, "eth1", kUp, true, {"10.0.0.255"})},
         {"10.0.0.255", "[ff02::12b%2]"},
         "IPv4 first; a dual-stack link only by IPv4"},
        {{Link(2, "eth0", kUp, true, {}, true)}, {}, "a bridge's port"},
        {{Link(2, "eth0", IFF_UP | IFF_BROADCAST, true, {})},
         {},
         "not multicast-capable"},
    };
    for (const auto &c : cases) {
        Addresses addresses;
        for (const sockaddr_storage &a : BroadcastAddresses(c.interfaces))
            addresses.push_back(Text(a));
        EXPECT_EQ(addresses, c.addresses) << c.why;
    }
}

void Found(const QueryTarget *) {}
void Unknown() {}

bool NoLookUpUnderWay() {
    for (const QueryTarget *t = queryTargets; t != nullptr; t = t->next)
        if (t->lookingUp)
            return false;
    return true;
}

// The targets that `name` adds, as dotted addresses with their kind, once
// its look-up, run in the background, has come back.
std::vector<std::string> TargetsFor(const char *name) {
    QueryTarget *last = queryTargets;
    while (last != nullptr && last->next != nullptr)
        last = last->next;
    AddTargetsForName(name);
    LookUpTargetNames(Found, Unknown);
    RunUntil(NoLookUpUnderWay);
    std::vector<std::string> added;
    for (QueryTarget *t = last ? last->next : queryTargets; t; t = t->next) {
        if (t->address == nullptr) {
            added.push_back(t->name != nullptr ? std::string("? ") + t->name
                                               : std::string("BROADCAST"));
            continue;
        }
        const auto *a = reinterpret_cast<const sockaddr_in *>(t->address);
        EXPECT_EQ(t->addressLength, 16);
        EXPECT_EQ(a->sin_family, AF_INET);
        EXPECT_EQ(ntohs(a->sin_port), kXdmcpPort);
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &a->sin_addr, text, sizeof(text));
        added.push_back(std::string(text) +
                        (t->queryKind == kOpcodeQuery ? " Q" : " B"));
    }
    return added;
}

using Targets = std::vector<std::string>;

TEST(QueryTargets, EightHexDigitsAreAnAddressNeverANumberOrName) {
    EXPECT_EQ(TargetsFor("0a000001"), (Targets{"10.0.0.1 Q"}));
    EXPECT_EQ(TargetsFor("12345678"), (Targets{"18.52.86.120 Q"}));
}

TEST(QueryTargets, NumericAddressesAndNames) {
    EXPECT_EQ(TargetsFor("10.0.0.1"), (Targets{"10.0.0.1 Q"}));
    EXPECT_EQ(TargetsFor("localhost"), (Targets{"127.0.0.1 Q"}));
}

// A name without an address is looked up again at the next series.
TEST(QueryTargets, UnresolvableArgumentsStayNamesWithoutAnAddress) {
    EXPECT_EQ(TargetsFor("C0A80001"), (Targets{"? C0A80001"}))
        << "upper case is a name";
    EXPECT_EQ(TargetsFor("no-such-host.invalid"),
              (Targets{"? no-such-host.invalid"}));
    EXPECT_EQ(TargetsFor("broadcast"), (Targets{"? broadcast"}))
        << "only BROADCAST exactly";
    EXPECT_EQ(TargetsFor("BROADCASTS"), (Targets{"? BROADCASTS"}));
}

TEST(QueryTargets, LoopbackIsNoBroadcastInterface) {
    EXPECT_EQ(TargetsFor("BROADCAST"), (Targets{"BROADCAST"}));
    EXPECT_TRUE(BroadcastAddresses(ReadInterfaces()).empty());
}

TEST(QueryTargets, EveryOccurrenceIsItsOwnTarget) {
    EXPECT_EQ(TargetsFor("7f000001"), (Targets{"127.0.0.1 Q"}));
    EXPECT_EQ(TargetsFor("7f000001"), (Targets{"127.0.0.1 Q"}));
}

TEST(QueryTargets, AddQueryTargetCopiesTheAddress) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kXdmcpPort);
    a.sin_addr.s_addr = htonl(0x0a000009);
    QueryTarget *before = queryTargets;
    AddQueryTarget(&a, sizeof(a), kOpcodeBroadcastQuery);
    a.sin_addr.s_addr = 0;
    QueryTarget *t = before ? before : queryTargets;
    while (t->next != nullptr)
        t = t->next;
    EXPECT_EQ(reinterpret_cast<sockaddr_in *>(t->address)->sin_addr.s_addr,
              htonl(0x0a000009));
    EXPECT_EQ(t->queryKind, kOpcodeBroadcastQuery);

    FailAllocation(1); // the address copy
    AddQueryTarget(&a, sizeof(a), kOpcodeQuery);
    EXPECT_EQ(t->next, nullptr) << "nothing registered";
}

// Each argument that cannot be asked is one line for the display
// manager's log; a name, once its look-up has found nothing.
TEST(QueryTargets, EachTargetThatCannotBeAskedIsToldOnce) {
    const struct {
        const char *argument;
        const char *told;
    } cases[] = {
        {"fe80::1%nonexistent",
         "hostpick: cannot ask fe80::1%nonexistent: no such interface\n"},
        {"::", "hostpick: cannot ask ::: not an address that can be sent to\n"},
        {"[::1]",
         "hostpick: cannot ask [::1]: neither an address nor a host name\n"},
        {"unknown.invalid", "hostpick: cannot ask unknown.invalid: the name "
                            "service does not know it\n"},
        {"localhost", ""},
        {"10.0.0.1", ""},
        {"BROADCAST", ""},
    };
    for (const auto &c : cases) {
        testing::internal::CaptureStderr();
        TargetsFor(c.argument);
        LookUpTargetNames(Found, Unknown); // a second series: told once
        RunUntil(NoLookUpUnderWay);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.told);
    }
}

} // namespace
