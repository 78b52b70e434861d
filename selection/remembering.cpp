#include "selection/remembering.h"

#include <X11/StringDefs.h>

#include <netdb.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "hosts/table.h"
#include "hosts/view.h"
#include "selection/command.h"
#include "selection/moves.h"
#include "selection/remembered.h"
#include "selection/session.h"
#include "shell/heading.h"
#include "shell/options.h"
#include "shell/warn.h"
#include "xdmcp/address.h"

namespace {

struct RememberingResources {
    String remember; ///< "true", "false", or anything else: the mode's
    String silent;   ///< how many did not answer
};

RememberingResources config;

XtResource resources[] = {
    FILE_RESOURCE(RememberingResources, "remember", "Remember", XtRString,
                  remember),
    FILE_RESOURCE(RememberingResources, "rememberedSilentLabel",
                  "RememberedSilentLabel", XtRString, silent),
};

bool remembering;
std::string path;
std::vector<Remembered> hosts;
std::vector<HostKey> keys; // of the hosts read at start, as replies key them
HostKey last;              // of the host opened last
bool selecting;            // which is still to be selected

// The key of a numeric address, as its replies' senders are keyed; no name
// is looked up.
bool KeyOfAddress(const std::string &address, HostKey *key) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(address.c_str(), nullptr, &hints, &found) != 0)
        return false;
    *key = SenderKey(found->ai_addr);
    freeaddrinfo(found);
    return true;
}

// The host opened last, selected when its row shows, unless a row is.
void SelectLastOpened() {
    if (!selecting)
        return;
    if (SelectedRow() >= 0) {
        selecting = false;
        return;
    }
    const HostEntry *entry = FindHost(last);
    int row = entry != nullptr ? RowOf(entry) : -1;
    if (row >= 0) {
        selecting = false;
        SelectRow(row);
    }
}

// How many remembered hosts no reply came from.
void TellSilent() {
    int silent = 0;
    for (const HostKey &key : keys)
        silent += FindHost(key) == nullptr;
    if (silent == 0)
        return;
    Warn("%d remembered host%s did not answer", silent, silent == 1 ? "" : "s");
    if (config.silent == nullptr)
        return;
    std::string count = std::to_string(silent);
    const Placeholder values[] = {{"count", count}};
    HeadingTells(Expand(config.silent, values).c_str());
}

void AfterSeries() {
    try {
        TellSilent();
    } catch (const std::bad_alloc &) {
        // Untold.
    }
}

void AfterRefresh() {
    try {
        SelectLastOpened();
    } catch (const std::bad_alloc &) {
        selecting = false;
    }
}

} // namespace

void LoadRemembering(Widget shell) {
    XtGetApplicationResources(shell, &config, resources, XtNumber(resources),
                              nullptr, 0);
    remembering = ModeChooses(config.remember);
    if (!remembering)
        return;
    path = RememberedPath();
    if (path.empty()) {
        Warn("no host is remembered: neither XDG_STATE_HOME nor HOME is set");
        remembering = false;
        return;
    }
    RememberedFile file;
    try {
        file = ReadRemembered(path);
        for (const Remembered &host : file.hosts) {
            HostKey key{};
            if (KeyOfAddress(host.address, &key))
                keys.push_back(key);
        }
    } catch (const std::bad_alloc &) {
        file.unreadable = std::strerror(ENOMEM);
    }
    if (!file.unreadable.empty())
        Warn("cannot read the remembered hosts in %s: %s", path.c_str(),
             file.unreadable.c_str());
    else if (file.badLines > 0)
        Warn("%s: skipped %d unreadable line%s", path.c_str(), file.badLines,
             file.badLines == 1 ? "" : "s");
    hosts = std::move(file.hosts);
    selecting = !hosts.empty() && KeyOfAddress(hosts.front().address, &last);
    afterRefresh = AfterRefresh;
    afterSeries = AfterSeries;
    loginShown = Remember;
}

std::vector<std::string> RememberedTargets() {
    std::vector<std::string> addresses;
    addresses.reserve(hosts.size());
    for (const Remembered &host : hosts)
        addresses.push_back(host.address);
    return addresses;
}

void Remember(const std::string &address, const std::string &name) {
    if (!remembering)
        return;
    int error = ENOMEM;
    try {
        hosts = WithNewest(hosts, {address, name});
        error = WriteRemembered(path, hosts);
    } catch (const std::bad_alloc &) {
        // The file stays as it was.
    }
    if (error != 0)
        Warn("cannot remember %s in %s: %s", name.c_str(), path.c_str(),
             std::strerror(error));
}
