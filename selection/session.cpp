// A session goes through three stages: opening (the server runs, no window
// of the host's is shown on it yet), taken (the host's window is shown:
// from then on the server's exit is the session's end), and given up (no
// window came in time, and the server was told to stop, and is killed if it
// does not).  Each stage's end is one event, told once.  A host has one
// session at a time that is opening or taken.
//
// hostpick ends as Cancel ends it, whether by Cancel or by SIGTERM, SIGINT
// or SIGHUP: the servers still opening are stopped, and every cookie file
// goes; the logins already open are the person's and run on.

#include "selection/session.h"

#include <X11/StringDefs.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <new>
#include <string>
#include <vector>

#include "hosts/view.h"
#include "selection/authfile.h"
#include "selection/bridge.h"
#include "selection/command.h"
#include "selection/server.h"
#include "shell/heading.h"
#include "shell/loop.h"
#include "shell/place.h"
#include "shell/variants.h"
#include "shell/options.h"
#include "shell/warn.h"
#include "shell/window.h"
#include "shell/windows.h"
#include "xdmcp/address.h"

namespace {

constexpr unsigned long kGiveUpMs = 15000; // for the host's first window
constexpr unsigned long kKillMs = 2000;    // after SIGTERM
constexpr int kLeastLoginWidth = 1024;     // at scale 1
constexpr int kLeastLoginHeight = 768;
constexpr std::size_t kKeyboardNames = 5; // in _XKB_RULES_NAMES
constexpr long kMostKeyboardBytes = 1024;
constexpr char kLoginInstance[] = "hostpick-login"; // its WM_CLASS
constexpr char kLoginClass[] = "Hostpick";
constexpr long kEndingKillMs = 500; // after SIGTERM, when hostpick ends
constexpr long kReapEveryMs = 10;
constexpr int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP};
// How Xephyr, as every X server, says that the host declined or failed;
// the host's own words follow.
constexpr char kDeclined[] = "XDMCP fatal error: Session declined";
constexpr char kHostFailed[] = "XDMCP fatal error: Session failed";
constexpr int kClipboardMegabytes = 16;       // where none is set
constexpr int kMostClipboardMegabytes = 1024; // far beyond any text

struct SessionResources {
    Boolean session;
    Boolean station;
    String command;
    String stationCommand;
    String title;
    String opening;
    String failed;
    String silent;
    String cannotStart;
    String alreadyOpening;
    String alreadyOpen;
    String exited;
    String stopped;
    String heading;
    String declined;
    String hostFailed;
    String notInstalled;
    String rowOpening;
    String rowOpen;
    String rowFailed;
    String clipboard;   ///< "true", "false", or anything else: the mode's
    int clipboardLimit; ///< in megabytes
};

SessionResources config;

XtResource resources[] = {
    FILE_RESOURCE(SessionResources, "session", "Session", XtRBoolean, session),
    FILE_RESOURCE(SessionResources, "station", "Station", XtRBoolean, station),
    FILE_RESOURCE(SessionResources, "sessionCommand", "SessionCommand",
                  XtRString, command),
    FILE_RESOURCE(SessionResources, "stationCommand", "StationCommand",
                  XtRString, stationCommand),
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
    FILE_RESOURCE(SessionResources, "alreadyOpeningLabel",
                  "AlreadyOpeningLabel", XtRString, alreadyOpening),
    FILE_RESOURCE(SessionResources, "alreadyOpenLabel", "AlreadyOpenLabel",
                  XtRString, alreadyOpen),
    FILE_RESOURCE(SessionResources, "exitedReason", "ExitedReason", XtRString,
                  exited),
    FILE_RESOURCE(SessionResources, "stoppedReason", "StoppedReason", XtRString,
                  stopped),
    FILE_RESOURCE(SessionResources, "sessionLabel", "SessionLabel", XtRString,
                  heading),
    FILE_RESOURCE(SessionResources, "declinedReason", "DeclinedReason",
                  XtRString, declined),
    FILE_RESOURCE(SessionResources, "hostFailedReason", "HostFailedReason",
                  XtRString, hostFailed),
    FILE_RESOURCE(SessionResources, "notInstalledLabel", "NotInstalledLabel",
                  XtRString, notInstalled),
    FILE_RESOURCE(SessionResources, "rowOpeningWord", "RowOpeningWord",
                  XtRString, rowOpening),
    FILE_RESOURCE(SessionResources, "rowOpenWord", "RowOpenWord", XtRString,
                  rowOpen),
    FILE_RESOURCE(SessionResources, "rowFailedWord", "RowFailedWord", XtRString,
                  rowFailed),
    FILE_RESOURCE(SessionResources, "clipboard", "Clipboard", XtRString,
                  clipboard),
    FILE_RESOURCE(SessionResources, "clipboardLimit", "ClipboardLimit", XtRInt,
                  clipboardLimit),
};

// A text that is not there is empty.
std::string_view Text(String text) {
    return text != nullptr ? text : "";
}

enum class Stage { kOpening, kTaken, kGivenUp };

struct Session {
    Stage stage = Stage::kOpening;
    std::string address; ///< the host's, numeric: one session each
    std::string host;    ///< as its row shows it
    std::string title;   ///< of its window
    HostKey key;         ///< its rows'
    Server server;
    Bridge bridge; ///< the clipboard's, once the login shows
    XtIntervalId giveUpTimer = 0;
    XtIntervalId killTimer = 0;
};

// A list, so that a session's address, handed to the loop's callbacks,
// stays valid while others come and go.
std::list<Session> sessions;
bool sharing; // the clipboard with each login
bool watching;
XtSignalId endingSignal;
volatile sig_atomic_t endingBy;

void Tell(String text, const Session &s, Lasting lasting = Lasting::kAWhile,
          std::string_view reason = std::string_view()) {
    const Placeholder values[] = {{"host", s.host}, {"reason", reason}};
    HeadingTells(Expand(Text(text), values).c_str(), lasting);
}

void RemoveTimer(XtIntervalId *timer) {
    if (*timer != 0)
        XtRemoveTimeOut(*timer);
    *timer = 0;
}

void SleepMs(long ms) {
    timespec pause = {0, ms * 1000000};
    nanosleep(&pause, nullptr);
}

// At hostpick's end: the servers not yet given a host's window are stopped,
// and killed if they have not gone within kEndingKillMs; the others are
// the person's logins, and have read their files.
void EndSessions() {
    std::vector<pid_t> stopping;
    for (Session &s : sessions) {
        EndBridge(&s.bridge);
        StopLooking(&s.server);
        RemoveAuthFile(&s.server);
        if (s.stage != Stage::kTaken && kill(-s.server.pid, SIGTERM) == 0)
            stopping.push_back(s.server.pid);
    }
    for (long waited = 0; !stopping.empty(); waited += kReapEveryMs) {
        std::erase_if(stopping, [](pid_t pid) {
            return waitpid(pid, nullptr, WNOHANG) == pid;
        });
        if (waited >= kEndingKillMs) {
            for (pid_t pid : stopping)
                kill(-pid, SIGKILL);
            break;
        }
        if (!stopping.empty())
            SleepMs(kReapEveryMs);
    }
}

// Ends hostpick as Cancel does, then by the same signal, so that its
// parent sees which.
void Ending(XtPointer, XtSignalId *) noexcept {
    int number = endingBy;
    EndSessions();
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigaction(number, &action, nullptr);
    raise(number);
}

void NoteEnding(int number) {
    endingBy = number;
    XtNoticeSignal(endingSignal);
}

// The host's rows say where its login stands; a failure until the next
// ping.
void Mark(const Session &s, String word, bool untilPing = false) {
    MarkHost(s.key, Text(word), untilPing);
    RefreshList();
}

// The login's window on the desktop: named in UTF-8 and classed as
// hostpick's logins, so that a taskbar shows and groups it.
Window LoginWindow(const Session &s) {
    Display *display = XtDisplay(topLevel);
    Window window = None;
    try {
        window = FindTopLevel(display, s.server.pid, s.title);
    } catch (const std::bad_alloc &) {
        return None; // unnamed, and not brought to the front
    }
    if (window != None)
        NameWindow(display, window, s.title.c_str(), kLoginInstance,
                   kLoginClass);
    return window;
}

// After a failure or an end, the list is the person's next step.
void ListToFront() {
    BringToFront(XtDisplay(topLevel), XtWindow(topLevel), XtWindow(topLevel));
}

// The host's first client has its set-up: the server has long read the
// file, and the host has its own cookie.
void HostConnected(Server *server) {
    RemoveAuthFile(server);
    LoginWindow(*static_cast<Session *>(server->owner));
}

// The host's window is on the nested display; a station's list steps
// aside for it.
void Taken(Server *server) {
    auto *s = static_cast<Session *>(server->owner);
    s->stage = Stage::kTaken;
    RemoveTimer(&s->giveUpTimer);
    HeadingStopsTelling();
    LoginWindow(*s);
    Mark(*s, config.rowOpen);
    if (loginShown != nullptr)
        loginShown(s->address, s->host);
    if (StationMode())
        XUnmapWindow(XtDisplay(topLevel), XtWindow(topLevel));
    Warn("%s manages display %s", s->host.c_str(), server->display.c_str());
    if (sharing)
        StartBridge(&s->bridge, DisplayString(XtDisplay(topLevel)),
                    std::atoi(server->display.c_str() + 1), server->cookie,
                    kCookieBytes, config.clipboardLimit);
}

// ---- the server's start and end ----

void Kill(XtPointer clientData, XtIntervalId *) noexcept {
    auto *s = static_cast<Session *>(clientData);
    s->killTimer = 0;
    kill(-s->server.pid, SIGKILL);
}

// The server and whatever it started go, by SIGKILL if not by SIGTERM.
void GiveUp(XtPointer clientData, XtIntervalId *) noexcept {
    auto *s = static_cast<Session *>(clientData);
    s->giveUpTimer = 0;
    if (s->stage != Stage::kOpening)
        return;
    s->stage = Stage::kGivenUp;
    StopLooking(&s->server);
    RemoveAuthFile(&s->server);
    kill(-s->server.pid, SIGTERM);
    s->killTimer = StartTimer(kKillMs, Kill, s);
    Tell(config.silent, *s, Lasting::kUntilActed);
    Mark(*s, config.rowFailed, true);
    RingBell();
    ListToFront();
    Warn("%s did not answer within %lu s", s->host.c_str(), kGiveUpMs / 1000);
}

// Why a server ended before the host's window came, in the person's words
// where hostpick knows them (the host declined or failed, a signal, an
// exit status), else the server's own last words; those go in `*said`,
// which is the person's text when the server said nothing.
std::string Reason(const Server &server, int status, std::string *said) {
    *said = LastWords(server);
    std::string_view words = *said;
    std::string number;
    String text = nullptr;
    if (words.starts_with(kDeclined)) {
        text = config.declined;
        words.remove_prefix(sizeof(kDeclined) - 1);
    } else if (words.starts_with(kHostFailed)) {
        text = config.hostFailed;
        words.remove_prefix(sizeof(kHostFailed) - 1);
    } else if (!said->empty()) {
        return *said;
    } else if (WIFSIGNALED(status)) {
        number = std::to_string(WTERMSIG(status));
        text = config.stopped;
    } else if (WIFEXITED(status)) {
        number = std::to_string(WEXITSTATUS(status));
        text = config.exited;
    }
    words.remove_prefix(std::min(words.size(), words.find_first_not_of(" :")));
    const Placeholder values[] = {
        {"signal", number}, {"status", number}, {"words", words}};
    std::string reason = Expand(Text(text), values);
    if (said->empty())
        *said = reason;
    return reason;
}

void Ended(Session *s, int status) {
    EndBridge(&s->bridge);
    StopReading(&s->server);
    RemoveTimer(&s->giveUpTimer);
    RemoveTimer(&s->killTimer);
    RemoveAuthFile(&s->server);
    if (s->stage == Stage::kTaken) {
        Warn("the session of %s ended", s->host.c_str());
        HeadingStopsTelling();
        Mark(*s, nullptr);
        if (StationMode())
            ShowWindowAgain();
        else
            ListToFront();
        XtCallActionProc(topLevel, "Ping", nullptr, nullptr, 0);
    } else if (s->stage == Stage::kOpening) {
        std::string said;
        std::string reason = Reason(s->server, status, &said);
        Tell(config.failed, *s, Lasting::kUntilActed, reason);
        Mark(*s, config.rowFailed, true);
        RingBell();
        ListToFront();
        Warn("the login of %s could not be opened: %s", s->host.c_str(),
             said.c_str());
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
void WatchOnce() {
    if (watching)
        return;
    watching = true;
    WatchServers(ChildrenExited);
    std::atexit(EndSessions);
    endingSignal = XtAppAddSignal(appContext, Ending, nullptr);
    struct sigaction action {};
    action.sa_handler = NoteEnding;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int number : kEndingSignals)
        sigaddset(&action.sa_mask, number);
    for (int number : kEndingSignals)
        sigaction(number, &action, nullptr);
}

// The session of `address` that is opening or open, if any; a station's
// one session, whatever its host.
Session *SessionOf(const std::string &address) {
    for (Session &s : sessions)
        if ((s.address == address || StationMode()) &&
            s.stage != Stage::kGivenUp)
            return &s;
    return nullptr;
}

// Accept on a host whose login is opening or open starts no other.
void AlreadyThere(Session *s) {
    bool open = s->stage == Stage::kTaken;
    Tell(open ? config.alreadyOpen : config.alreadyOpening, *s);
    Warn("the login of %s is already %s", s->host.c_str(),
         open ? "open" : "opening");
    Window window = LoginWindow(*s);
    if (window != None)
        BringToFront(XtDisplay(topLevel), window, XtWindow(topLevel));
}

// The host as its row shows it: its name, and its address where the row
// shows it too or there is no name.
std::string Shown(const HostEntry *host, const char *address) {
    if (ShownName(host).empty())
        return address;
    return std::string(ShownLabel(host));
}

// The login's place beside the list, which moves to its monitor's nearer
// edge first where neither side has room.  The window is moved without
// waiting for the window manager's answer.
Area LoginPlace() {
    Area monitor = WindowMonitor(topLevel);
    if (StationMode())
        return monitor; // the station's login covers it
    Frame frame = FrameOf(topLevel);
    Area list = OuterArea(topLevel, frame);
    Area least = {0, 0, Scaled(kLeastLoginWidth, scale),
                  Scaled(kLeastLoginHeight, scale)};
    int listX = list.x;
    Area login = BesideList(monitor, list, frame, least, &listX);
    if (listX != list.x)
        XMoveWindow(XtDisplay(topLevel), XtWindow(topLevel), listX, list.y);
    return login;
}

// The desktop's keyboard as XKB names it on the root window: rules, model,
// layout, variant and options, each empty where not named.
std::vector<std::string> Keyboard() {
    Display *display = XtDisplay(topLevel);
    std::string names = StringProperty(display, DefaultRootWindow(display),
                                       "_XKB_RULES_NAMES", kMostKeyboardBytes);
    std::string_view all = names;
    std::vector<std::string> keyboard(kKeyboardNames);
    for (std::string &name : keyboard) {
        std::size_t end = std::min(all.find('\0'), all.size());
        name = all.substr(0, end);
        all.remove_prefix(std::min(all.size(), end + 1));
    }
    return keyboard;
}

// What the server is given: the host's numeric address, a descriptor, its
// own cookie, the title, its place, the desktop's density and keyboard;
// the title is the only text that came from the network, and is one word
// of its own.
std::vector<std::string> Command(Session *s, const char *address) {
    const Placeholder forTitle[] = {{"host", s->host}};
    std::string &title = s->title = Expand(Text(config.title), forTitle);
    if (title.empty() || title[0] == '-')
        title.insert(0, "hostpick: ");
    Area login = LoginPlace();
    std::string size =
        std::to_string(login.width) + "x" + std::to_string(login.height);
    std::string geometry =
        size + "+" + std::to_string(login.x) + "+" + std::to_string(login.y);
    std::string fd = std::to_string(kDisplayFd);
    std::string dpi = std::to_string(std::lround(density));
    std::vector<std::string> keyboard = Keyboard();
    const Placeholder values[] = {{"address", address},
                                  {"displayfd", fd},
                                  {"auth", s->server.authFile},
                                  {"title", title},
                                  {"size", size},
                                  {"geometry", geometry},
                                  {"dpi", dpi},
                                  {"xkbrules", keyboard[0]},
                                  {"xkbmodel", keyboard[1]},
                                  {"xkblayout", keyboard[2]},
                                  {"xkbvariant", keyboard[3]},
                                  {"xkboptions", keyboard[4]}};
    return CommandWords(
        Text(StationMode() ? config.stationCommand : config.command), values);
}

// A command not found is one not installed, and said so.
void CannotStart(const std::string &command, int error) {
    const Placeholder values[] = {{"command", command},
                                  {"reason", std::strerror(error)}};
    String text = error == ENOENT ? config.notInstalled : config.cannotStart;
    HeadingTells(Expand(Text(text), values).c_str(), Lasting::kUntilActed);
    RingBell();
    Warn("cannot start %s: %s", command.c_str(), std::strerror(error));
}

} // namespace

void (*loginShown)(const std::string &address, const std::string &host);

void LoadSession(Widget shell) {
    XtGetApplicationResources(shell, &config, resources, XtNumber(resources),
                              nullptr, 0);
    sharing = ModeChooses(config.clipboard);
    int &limit = config.clipboardLimit;
    if (limit < 0 || limit > kMostClipboardMegabytes)
        Warn("clipboardLimit is a number of megabytes from 1 to %d, not %d: "
             "%d it is",
             kMostClipboardMegabytes, limit, kClipboardMegabytes);
    if (limit < 1 || limit > kMostClipboardMegabytes)
        limit = kClipboardMegabytes;
}

bool ModeChooses(const char *asked) {
    if (asked == nullptr)
        asked = "";
    return SessionMode() &&
           (std::strcmp(asked, "true") == 0 ||
            (std::strcmp(asked, "false") != 0 && !StationMode()));
}

void ShowSessionHeading() {
    if (SessionMode() && config.heading != nullptr)
        SetHeading(config.heading);
}

bool SessionMode() {
    return config.session != False || config.station != False;
}

bool StationMode() {
    return config.station != False;
}

void OpenSession(const HostEntry *host) {
    std::string command = "the session command";
    try {
        WatchOnce();
        char address[kKeyTextSize];
        KeyText(KeyOf(host), address);
        if (Session *there = SessionOf(address)) {
            AlreadyThere(there);
            return;
        }
        sessions.emplace_back();
        Session *s = &sessions.back();
        s->address = address;
        s->key = KeyOf(host);
        s->host = Shown(host, address);
        s->server.hostConnected = HostConnected;
        s->server.shown = Taken;
        s->server.owner = s;
        std::vector<std::string> words;
        int error = 0;
        bool started = WriteAuthFile(&s->server, &error);
        if (started) {
            words = Command(s, address);
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
        Mark(*s, config.rowOpening);
        Warn("opening the login of %s", s->host.c_str());
    } catch (const std::bad_alloc &) {
        CannotStart(command, ENOMEM);
    }
}
