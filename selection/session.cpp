// A session goes through three stages: opening (the server runs, no window
// of the host's is on it yet), taken (the host put a window on it: from
// then on the server's exit is the session's end), and given up (no window
// came in time, and the server was told to stop).  Each stage's end is one
// event, told once.

#include "selection/session.h"

#include <X11/StringDefs.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <new>
#include <string>
#include <vector>

#include "selection/authfile.h"
#include "selection/command.h"
#include "selection/server.h"
#include "shell/heading.h"
#include "shell/loop.h"
#include "shell/place.h"
#include "shell/options.h"
#include "shell/warn.h"
#include "shell/window.h"
#include "xdmcp/address.h"

namespace {

constexpr unsigned long kGiveUpMs = 15000; // for the host's first window

struct SessionResources {
    Boolean session;
    String command;
    String title;
    String opening;
    String failed;
    String silent;
    String cannotStart;
};

SessionResources config;

XtResource resources[] = {
    FILE_RESOURCE(SessionResources, "session", "Session", XtRBoolean, session),
    FILE_RESOURCE(SessionResources, "sessionCommand", "SessionCommand",
                  XtRString, command),
    FILE_RESOURCE(SessionResources, "sessionTitle", "SessionTitle", XtRString,
                  title),
    FILE_RESOURCE(SessionResources, "openingLabel", "OpeningLabel", XtRString,
                  opening),
    FILE_RESOURCE(SessionResources, "failedLabel", "FailedLabel", XtRString,
                  failed),
    FILE_RESOURCE(SessionResources, "silentLabel", "SilentLabel", XtRString,
                  silent),
    FILE_RESOURCE(SessionResources, "cannotStartLabel", "CannotStartLabel",
                  XtRString, cannotStart),
};

// A text that is not there is empty.
std::string_view Text(String text) {
    return text != nullptr ? text : "";
}

enum class Stage { kOpening, kTaken, kGivenUp };

struct Session {
    Stage stage = Stage::kOpening;
    std::string host; ///< as its row shows it
    Server server;
    XtIntervalId giveUpTimer = 0;
};

// A list, so that a session's address, handed to the loop's callbacks,
// stays valid while others come and go.
std::list<Session> sessions;
bool watching;

void Tell(String text, const Session &s,
          std::string_view reason = std::string_view()) {
    const Placeholder values[] = {{"host", s.host}, {"reason", reason}};
    HeadingTells(Expand(Text(text), values).c_str());
}

// Cancel leaves the servers running: they have read their files.
void RemoveAuthFiles() {
    for (Session &s : sessions)
        RemoveAuthFile(&s.server);
}

// The host put a window on the nested display.
void Taken(Server *server) {
    auto *s = static_cast<Session *>(server->owner);
    s->stage = Stage::kTaken;
    // The server has read it, and hostpick's cookie is needed no more.
    RemoveAuthFile(server);
    if (s->giveUpTimer != 0)
        XtRemoveTimeOut(s->giveUpTimer);
    s->giveUpTimer = 0;
    Warn("%s manages display %s", s->host.c_str(), server->display.c_str());
}

// ---- the server's start and end ----

void GiveUp(XtPointer clientData, XtIntervalId *) noexcept {
    auto *s = static_cast<Session *>(clientData);
    s->giveUpTimer = 0;
    if (s->stage != Stage::kOpening)
        return;
    s->stage = Stage::kGivenUp;
    StopLooking(&s->server);
    kill(s->server.pid, SIGTERM);
    Tell(config.silent, *s);
    RingBell();
    Warn("%s did not answer within %lu s", s->host.c_str(), kGiveUpMs / 1000);
}

void Ended(Session *s, int status) {
    StopReading(&s->server);
    if (s->giveUpTimer != 0)
        XtRemoveTimeOut(s->giveUpTimer);
    RemoveAuthFile(&s->server);
    if (s->stage == Stage::kTaken) {
        Warn("the session of %s ended", s->host.c_str());
        HeadingStopsTelling();
        XtCallActionProc(topLevel, "Ping", nullptr, nullptr, 0);
    } else if (s->stage == Stage::kOpening) {
        std::string reason = LastWords(s->server);
        if (reason.empty() && WIFEXITED(status))
            reason = "Exit status " + std::to_string(WEXITSTATUS(status)) + ".";
        Tell(config.failed, *s, reason);
        RingBell();
        Warn("the login of %s could not be opened: %s", s->host.c_str(),
             reason.c_str());
    }
}

// Reaped from the loop, never by a blocking wait: only the servers started
// here are waited for.
void ChildrenExited(XtPointer, XtSignalId *) noexcept {
    for (auto s = sessions.begin(); s != sessions.end();) {
        int status = 0;
        if (waitpid(s->server.pid, &status, WNOHANG) == s->server.pid) {
            try {
                Ended(&*s, status);
            } catch (const std::bad_alloc &) {
                // Reaped and forgotten all the same, untold.
            }
            s = sessions.erase(s);
        } else {
            ++s;
        }
    }
}

// Once, at the first session.
void Watch() {
    if (watching)
        return;
    watching = true;
    WatchServers(ChildrenExited);
    std::atexit(RemoveAuthFiles);
}

// The host as its row shows it: its name, and its address where the row
// shows it too or there is no name.
std::string Shown(const HostEntry *host, const char *address) {
    if (ShownName(host).empty())
        return address;
    return std::string(ShownLabel(host));
}

// What the server is given: the host's numeric address, a descriptor, its
// own cookie, the title and a size; the title is the only text that came
// from the network, and is one word of its own.
std::vector<std::string> Command(const Session &s, const char *address) {
    const Placeholder forTitle[] = {{"host", s.host}};
    std::string title = Expand(Text(config.title), forTitle);
    if (title.empty() || title[0] == '-')
        title.insert(0, "hostpick: ");
    Area monitor = WindowMonitor(topLevel);
    std::string size = std::to_string(monitor.width * 3 / 4) + "x" +
                       std::to_string(monitor.height * 3 / 4);
    std::string fd = std::to_string(kDisplayFd);
    const Placeholder values[] = {{"address", address},
                                  {"displayfd", fd},
                                  {"auth", s.server.authFile},
                                  {"title", title},
                                  {"size", size}};
    return CommandWords(Text(config.command), values);
}

void CannotStart(const std::string &command, int error) {
    const Placeholder values[] = {{"command", command},
                                  {"reason", std::strerror(error)}};
    HeadingTells(Expand(Text(config.cannotStart), values).c_str());
    RingBell();
    Warn("cannot start %s: %s", command.c_str(), std::strerror(error));
}

} // namespace

void LoadSession(Widget shell) {
    XtGetApplicationResources(shell, &config, resources, XtNumber(resources),
                              nullptr, 0);
}

bool SessionMode() {
    return config.session != False;
}

void OpenSession(const HostEntry *host) {
    std::string command = "the session command";
    try {
        Watch();
        sessions.emplace_back();
        Session *s = &sessions.back();
        char address[kKeyTextSize];
        KeyText(KeyOf(host), address);
        s->host = Shown(host, address);
        s->server.appeared = Taken;
        s->server.owner = s;
        std::vector<std::string> words;
        int error = 0;
        bool started = WriteAuthFile(&s->server, &error);
        if (started) {
            words = Command(*s, address);
            if (!words.empty())
                command = words.front();
            started = StartServer(&s->server, words, &error);
        }
        if (!started) {
            RemoveAuthFile(&s->server);
            sessions.pop_back();
            CannotStart(command, error);
            return;
        }
        s->giveUpTimer = StartTimer(kGiveUpMs, GiveUp, s);
        Tell(config.opening, *s);
        Warn("opening the login of %s", s->host.c_str());
    } catch (const std::bad_alloc &) {
        CannotStart(command, ENOMEM);
    }
}
