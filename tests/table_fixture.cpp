#include "tests/table_fixture.h"

#include <arpa/inet.h>

#include <cstring>

#include "hosts/table.h"
#include "tests/alloc_fail.h"

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
    sockaddr_in sender{};
    sender.sin_family = family;
    sender.sin_port = htons(port);
    inet_pton(AF_INET, ip, &sender.sin_addr);
    if (failAt >= 0)
        FailAllocation(failAt);
    int recorded = RecordHost(&hostname, &st, &sender, willing);
    AllowAllocations();
    return recorded;
}

std::vector<std::string> Listed() {
    std::vector<std::string> lines;
    for (const HostEntry *entry : ListedHosts())
        lines.emplace_back(entry->displayLine);
    return lines;
}
