#include "tests/table_fixture.h"

#include <arpa/inet.h>
#include <net/if.h>

#include <cctype>
#include <cstring>

#include "hosts/rows.h"
#include "hosts/table.h"
#include "tests/alloc_fail.h"
#include "tests/events.h"

void (*takeNewHost)(HostEntry *entry) = TakeNewHost;

ARRAY8 MakeArray8(const std::string &bytes) {
    ARRAY8 a = {0, nullptr};
    AllocArray8(&a, static_cast<int>(bytes.size()));
    std::memcpy(a.data, bytes.data(), bytes.size());
    return a;
}

int Record(const std::string &name, const std::string &status, const char *ip,
           int willing, int port, sa_family_t family, int failAt) {
    ARRAY8 hostname = MakeArray8(name);
    ARRAY8 st = MakeArray8(status);
    sockaddr_storage sender{};
    auto *in = reinterpret_cast<sockaddr_in *>(&sender);
    auto *in6 = reinterpret_cast<sockaddr_in6 *>(&sender);
    in->sin_family = family;
    in->sin_port = htons(port);
    if (inet_pton(AF_INET, ip, &in->sin_addr) != 1) {
        in6->sin6_family = AF_INET6; // an IPv6 address, "%interface" too
        std::string text = ip;
        std::size_t percent = text.find('%');
        std::string scope =
            percent != std::string::npos ? text.substr(percent + 1) : "0";
        in6->sin6_scope_id = std::isdigit(scope[0]) != 0
                                 ? std::stoul(scope)
                                 : if_nametoindex(scope.c_str());
        inet_pton(AF_INET6, text.substr(0, percent).c_str(), &in6->sin6_addr);
    }
    if (failAt >= 0)
        FailAllocation(failAt);
    HostEntry *added;
    int recorded = RecordHost(&hostname, &st,
                              SenderKey(reinterpret_cast<sockaddr *>(&sender)),
                              willing, &added);
    AllowAllocations();
    if (added != nullptr)
        takeNewHost(added);
    return recorded;
}

EmptyChoice::EmptyChoice() : saved(settings) {
    ClearHosts();
    settings = {nullptr, nullptr, 0};
}

EmptyChoice::~EmptyChoice() {
    settings = saved;
    ClearHosts();
}

std::vector<std::string> Listed() {
    std::vector<std::string> lines;
    for (const HostEntry *entry : ListedHosts())
        lines.emplace_back(entry->displayLine);
    return lines;
}

void SettleNames() {
    RunUntil([] { return std::ssize(ListedHosts()) == hostCount; }, 2000);
}
