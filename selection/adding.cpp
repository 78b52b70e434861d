#include "selection/adding.h"

#include <X11/StringDefs.h>
#include <strings.h>

#include <cstdio>
#include <list>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "hosts/resolver.h"
#include "hosts/table.h"
#include "hosts/view.h"
#include "selection/command.h"
#include "selection/moves.h"
#include "shell/heading.h"
#include "shell/options.h"
#include "shell/warn.h"
#include "shell/window.h"
#include "xdmcp/allowed.h"
#include "xdmcp/discovery.h"
#include "xdmcp/targets.h"

bool allowAdd;

namespace {

constexpr int kMostAdded = 8;

struct AddResources {
    Boolean allow;
    String allowed;
    String asking;
    String silent;
    String unknownHost;
    String nameService;
    String notAllowed;
    String tooMany;
};

AddResources config;

XtResource resources[] = {
    FILE_RESOURCE(AddResources, "allowAdd", "AllowAdd", XtRBoolean, allow),
    FILE_RESOURCE(AddResources, "addAllowed", "AddAllowed", XtRString, allowed),
    FILE_RESOURCE(AddResources, "askingLabel", "AskingLabel", XtRString,
                  asking),
    FILE_RESOURCE(AddResources, "addSilentLabel", "AddSilentLabel", XtRString,
                  silent),
    FILE_RESOURCE(AddResources, "unknownHostLabel", "UnknownHostLabel",
                  XtRString, unknownHost),
    FILE_RESOURCE(AddResources, "nameServiceLabel", "NameServiceLabel",
                  XtRString, nameService),
    FILE_RESOURCE(AddResources, "notAllowedLabel", "NotAllowedLabel", XtRString,
                  notAllowed),
    FILE_RESOURCE(AddResources, "tooManyLabel", "TooManyLabel", XtRString,
                  tooMany),
};

AddRules rules;
// Entries asked, or being looked up: a look-up that finds nothing to ask
// gives its place back.
int added;

struct Added {
    std::string shown; ///< as it was typed
    std::vector<sockaddr_storage> addresses;
    int asks = 0;
    AskSeries series;
};

// A list, so that an entry's address, handed to the timers, stays valid.
std::list<Added> asked;

void Tell(String text, std::string_view host,
          Lasting lasting = Lasting::kAWhile) {
    const Placeholder values[] = {{"host", host}};
    HeadingTells(Expand(text != nullptr ? text : "", values).c_str(), lasting);
}

// A failure is told until the person acts.
void Refuse(String text, std::string_view host) {
    RingBell();
    Tell(text, host, Lasting::kUntilActed);
}

// The addresses of `count` that may be asked, at the XDMCP port, the
// links being `interfaces`.
std::vector<sockaddr_storage>
Allowed(const sockaddr_storage *addresses, int count,
        const std::vector<Interface> &interfaces = ReadInterfaces()) {
    std::vector<sockaddr_storage> broadcasts = BroadcastAddresses(interfaces);
    std::vector<sockaddr_storage> allowed;
    for (int i = 0; i < count; i++) {
        HostKey key =
            SenderKey(reinterpret_cast<const sockaddr *>(&addresses[i]));
        sockaddr_storage address;
        if (!NeverAdded(key, broadcasts) && AddressAllowed(rules, key) &&
            KeyAddress(key, kXdmcpPort, &address) != 0)
            allowed.push_back(address);
    }
    return allowed;
}

bool Replied(const Added &host) {
    for (const sockaddr_storage &address : host.addresses) {
        const HostEntry *entry =
            FindHost(SenderKey(reinterpret_cast<const sockaddr *>(&address)));
        if (entry != nullptr && entry->listed)
            return true;
    }
    return false;
}

void AskOnce(void *data) {
    for (const sockaddr_storage &address :
         static_cast<Added *>(data)->addresses)
        SendQueryTo(reinterpret_cast<const sockaddr *>(&address));
}

// An interval after the last ask: whether any of its addresses replied is
// told, and its addresses join the targets, for the Pings to come (before,
// a series under way would ask it more often).
void AskingOver(void *data) {
    auto *host = static_cast<Added *>(data);
    for (const sockaddr_storage &address : host->addresses)
        AddQueryTarget(
            &address,
            AddressLength(reinterpret_cast<const sockaddr *>(&address)),
            kOpcodeQuery);
    if (!Replied(*host))
        Tell(config.silent, host->shown, Lasting::kUntilActed);
}

void StartAsking(const std::string &shown,
                 std::vector<sockaddr_storage> addresses) {
    Added &host = asked.emplace_back();
    host.shown = shown;
    host.addresses = std::move(addresses);
    host.series = {AskOnce, AskingOver, &host, &host.asks, 0};
    Tell(config.asking, shown);
    Ask(&host.series);
}

void NameAnswered(void *clientData, const sockaddr_storage *addresses,
                  int count, bool unanswered) noexcept {
    std::unique_ptr<std::string> name(static_cast<std::string *>(clientData));
    try {
        std::vector<sockaddr_storage> allowed = Allowed(addresses, count);
        if (!allowed.empty()) {
            StartAsking(*name, std::move(allowed));
            return;
        }
        added--;
        if (count > 0)
            Refuse(config.notAllowed, *name);
        else
            Refuse(unanswered ? config.nameService : config.unknownHost, *name);
    } catch (const std::bad_alloc &) {
        added--;
        RingBell();
    }
}

// The row whose address is `text`, or whose name, in either case, is, as
// the name service confirmed it: a name a reply gave is only its claim, and
// the typed name is looked up and asked instead.  -1 if none.
int ListedRow(const std::string &text) {
    for (int row = 0; row < RowCount(); row++)
        for (const HostEntry *host : RowHosts(row)) {
            char address[kKeyTextSize];
            KeyText(KeyOf(host), address);
            std::string_view name = ShownName(host);
            if ((host->naming == Naming::kConfirmed &&
                 name.size() == text.size() &&
                 strncasecmp(name.data(), text.c_str(), text.size()) == 0) ||
                text == address)
                return row;
        }
    return -1;
}

void Add(std::string text) {
    text.erase(0, text.find_first_not_of(" \t"));
    text.erase(text.find_last_not_of(" \t") + 1);
    if (text.empty())
        return;
    int row = ListedRow(text);
    if (row >= 0) {
        SelectRow(row);
        return;
    }
    std::vector<Interface> interfaces = ReadInterfaces();
    TargetChoice choice = ChooseTarget(text.c_str(), interfaces);
    bool name = choice.kind == TargetKind::kName;
    std::vector<sockaddr_storage> allowed;
    if (choice.kind == TargetKind::kAddress)
        allowed = Allowed(&choice.address, 1, interfaces);
    if ((choice.kind != TargetKind::kAddress && !name) ||
        strcasecmp(text.c_str(), "BROADCAST") == 0 ||
        (name ? !NameAllowed(rules, text) : allowed.empty())) {
        Refuse(config.notAllowed, text);
        return;
    }
    if (added == kMostAdded) {
        Refuse(config.tooMany, text);
        return;
    }
    if (!name) {
        added++;
        StartAsking(text, std::move(allowed));
        return;
    }
    // NameAnswered takes charge of the copy.
    auto copy = std::make_unique<std::string>(text);
    if (!LookUpName(text.c_str(), NameAnswered, copy.get())) {
        RingBell();
        return;
    }
    static_cast<void>(copy.release());
    added++;
    Tell(config.asking, text);
}

} // namespace

void LoadAdding(Widget shell) {
    XtGetApplicationResources(shell, &config, resources, XtNumber(resources),
                              nullptr, 0);
    allowAdd = config.allow != False;
    if (!allowAdd)
        return;
    std::string unread;
    rules =
        ReadAddRules(config.allowed != nullptr ? config.allowed : "", &unread);
    if (rules.unreadable)
        Warn("addAllowed: cannot read \"%s\": no host may be added",
             unread.c_str());
}

void AddHost(Widget, XEvent *, String *, Cardinal *) noexcept {
    if (entryWidget == nullptr)
        return;
    String typed = nullptr;
    Arg arg;
    XtSetArg(arg, XtNstring, &typed);
    XtGetValues(entryWidget, &arg, 1);
    try {
        std::string text = typed != nullptr ? typed : "";
        XtSetArg(arg, XtNstring, "");
        XtSetValues(entryWidget, &arg, 1);
        Add(std::move(text));
    } catch (const std::bad_alloc &) {
        RingBell();
    }
}

void FocusEntry(Widget w, XEvent *event, String *params,
                Cardinal *paramCount) noexcept {
    if (entryWidget == nullptr)
        SelectTyped(w, event, params, paramCount);
    else
        KeysToEntry(true);
}

void FocusList(Widget, XEvent *, String *, Cardinal *) noexcept {
    KeysToEntry(false);
}
