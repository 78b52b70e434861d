#include "xdmcp/address.h"

#include <arpa/inet.h>
#include <net/if.h>

#include <cstdio>
#include <cstring>

HostKey SenderKey(const sockaddr *sender) {
    HostKey key{};
    key.connectionType = kFamilyLocal;
    if (sender->sa_family == AF_INET) {
        const auto *in = reinterpret_cast<const sockaddr_in *>(sender);
        key.connectionType = kFamilyInternet;
        key.length = sizeof(in->sin_addr);
        std::memcpy(key.address, &in->sin_addr, key.length);
    } else if (sender->sa_family == AF_INET6) {
        const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(sender);
        const CARD8 *bytes = in6->sin6_addr.s6_addr;
        bool mapped = IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr);
        key.connectionType = mapped ? kFamilyInternet : kFamilyInternet6;
        key.length = mapped ? 4 : sizeof(in6->sin6_addr);
        std::memcpy(key.address, mapped ? bytes + 12 : bytes, key.length);
        if (IN6_IS_ADDR_LINKLOCAL(&in6->sin6_addr))
            key.scope = in6->sin6_scope_id;
    }
    return key;
}

socklen_t KeyAddress(const HostKey &key, in_port_t port,
                     sockaddr_storage *address) {
    std::memset(address, 0, sizeof(*address));
    if (key.connectionType == kFamilyInternet) {
        auto *in = reinterpret_cast<sockaddr_in *>(address);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        std::memcpy(&in->sin_addr, key.address, sizeof(in->sin_addr));
        return sizeof(*in);
    }
    if (key.connectionType == kFamilyInternet6) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(address);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        std::memcpy(&in6->sin6_addr, key.address, sizeof(in6->sin6_addr));
        in6->sin6_scope_id = key.scope;
        return sizeof(*in6);
    }
    return 0;
}

void KeyText(const HostKey &key, char (&text)[kKeyTextSize]) {
    char address[INET6_ADDRSTRLEN] = "local";
    char interface[IF_NAMESIZE] = "";
    if (key.connectionType != kFamilyLocal)
        inet_ntop(key.connectionType == kFamilyInternet ? AF_INET : AF_INET6,
                  key.address, address, sizeof(address));
    if (key.scope != 0 && if_indextoname(key.scope, interface) == nullptr)
        std::snprintf(interface, sizeof(interface), "%u", key.scope);
    std::snprintf(text, sizeof(text), "%s%s%s", address,
                  *interface != '\0' ? "%" : "", interface);
}

socklen_t AddressLength(const sockaddr *address) {
    if (address->sa_family == AF_INET)
        return sizeof(sockaddr_in);
    if (address->sa_family == AF_INET6)
        return sizeof(sockaddr_in6);
    return 0;
}
