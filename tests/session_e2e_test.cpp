// The session mode: a host picked from the list manages a nested X server
// in a window of the person's desktop.  The host is LightDM's XDMCP server
// in a namespace of the lab's; the silent and the declining host, which
// LightDM never is, are simulated.
#include "tests/e2e.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dirent.h>
#include <spawn.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <thread>

#include "tests/lab/lightdm.h"
#include "tests/lab/netns.h"

namespace {

std::vector<std::string> CommandLine(pid_t pid) {
    std::string all = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
    std::vector<std::string> words;
    for (std::size_t at = 0; at < all.size(); at = all.find('\0', at) + 1)
        words.push_back(all.substr(at, all.find('\0', at) - at));
    return words;
}

// What each descriptor of `pid` refers to ("socket:[123]", "/dev/null").
std::map<int, std::string> Descriptors(pid_t pid) {
    std::map<int, std::string> all;
    std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR *d = opendir(dir.c_str());
    for (dirent *e; d != nullptr && (e = readdir(d)) != nullptr;) {
        char target[256];
        ssize_t n = readlink((dir + "/" + e->d_name).c_str(), target,
                             sizeof(target) - 1);
        if (e->d_name[0] != '.' && n > 0)
            all[std::atoi(e->d_name)] = std::string(target, n);
    }
    if (d != nullptr)
        closedir(d);
    return all;
}

// The cookie of the Xauthority file `auth` (one entry, as hostpick writes
// it); empty when there is none.
std::string Cookie(const std::string &auth) {
    std::string file = ReadFile(auth);
    return file.size() < 16 ? "" : file.substr(file.size() - 16);
}

// A window of the host's may go between the query and the question.
int IgnoreErrors(Display *, XErrorEvent *) {
    return 0;
}

// The top-level windows mapped on display `name`, seen with `cookie`.
int MappedWindows(const std::string &name, std::string cookie) {
    if (cookie.size() != 16)
        return -1;
    XSetErrorHandler(IgnoreErrors);
    XSetAuthorization(const_cast<char *>("MIT-MAGIC-COOKIE-1"), 18,
                      cookie.data(), 16);
    Display *d = XOpenDisplay(name.c_str());
    XSetAuthorization(nullptr, 0, nullptr, 0);
    if (d == nullptr)
        return -1;
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    int mapped = 0;
    XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
    for (unsigned i = 0; i < count; i++) {
        XWindowAttributes a;
        mapped += XGetWindowAttributes(d, children[i], &a) != 0 &&
                  a.map_state == IsViewable;
    }
    XFree(children);
    XCloseDisplay(d);
    return mapped;
}

// An Xauthority file at `path` with `cookie` for any display, as hostpick
// writes one.
std::string AuthFile(const std::string &path, const std::string &cookie) {
    auto field = [](const std::string &bytes) {
        return std::string{static_cast<char>(bytes.size() >> 8),
                           static_cast<char>(bytes.size())} +
               bytes;
    };
    std::ofstream(path, std::ios::binary)
        << "\xff\xff" << field("") << field("") << field("MIT-MAGIC-COOKIE-1")
        << field(cookie);
    return path;
}

// Shell words that run xclip on display `name` with `options`, with
// XAUTHORITY set to `auth` where one is given.
std::string Xclip(const std::string &name, const std::string &auth,
                  const std::string &options) {
    return "env " + (auth.empty() ? "" : "XAUTHORITY=" + auth + " ") +
           "xclip -display " + name + " " + options;
}

// A person's copy of `text` to `selection` on display `name`, made by
// xclip, which owns it until it is ended: its PID, a child's.
pid_t Copy(const std::string &name, const std::string &auth,
           const std::string &selection, const std::string &text) {
    std::string file = "/tmp/hostpick-test-copy-" + std::to_string(getpid());
    std::ofstream(file, std::ios::binary) << text;
    std::string command = "exec 3<" + file + "; rm " + file + "; exec " +
                          Xclip(name, auth, "-quiet -selection " + selection) +
                          " <&3 >/dev/null 2>&1";
    const char *argv[] = {"sh", "-c", command.c_str(), nullptr};
    pid_t pid = -1;
    posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char **>(argv),
                 environ);
    return pid;
}

// Ends a copy.
void EndCopy(pid_t pid) {
    if (pid > 0 && kill(pid, SIGTERM) == 0)
        waitpid(pid, nullptr, 0);
}

// What a paste of `selection` on display `name` gives, within 5 s, asked
// as `target`.
std::string Paste(const std::string &name, const std::string &auth,
                  const std::string &selection,
                  const std::string &target = "UTF8_STRING") {
    std::string command =
        "timeout 5 " +
        Xclip(name, auth, "-o -selection " + selection + " -t " + target) +
        " 2>/dev/null";
    FILE *f = popen(command.c_str(), "r");
    std::string text;
    char bytes[65536];
    for (std::size_t n;
         f != nullptr && (n = fread(bytes, 1, sizeof(bytes), f)) > 0;)
        text.append(bytes, n);
    if (f != nullptr)
        pclose(f);
    return text;
}

// Whether process `pid` runs; a PID of 0 would name the test's group.
bool Runs(pid_t pid) {
    return pid > 0 && kill(pid, 0) == 0;
}

void Stop(pid_t pid, int signal = SIGTERM) {
    if (pid > 0)
        kill(pid, signal);
}

class Session : public EndToEnd {
  protected:
    // Waits for `text` in the program's standard error; the part after it
    // up to the end of its line.
    std::string AwaitLog(Program &p, const std::string &text, int ms) {
        std::string err;
        std::size_t at = std::string::npos;
        if (PollUntil(
                [&] {
                    err = p.Stderr();
                    at = err.find(text);
                    return at != std::string::npos;
                },
                ms, 50))
            return err.substr(at + text.size(),
                              err.find('\n', at) - at - text.size());
        ADD_FAILURE() << "no \"" << text << "\" in: " << p.Stderr();
        return "";
    }
    // The nested server hostpick started, or 0.
    pid_t Server(const Program &p, int ms = 3000) {
        pid_t server = 0;
        PollUntil(
            [&] {
                std::vector<pid_t> children = p.Children();
                server = children.empty() ? 0 : children.front();
                return server != 0;
            },
            ms, 50);
        return server;
    }
    static std::string Option(const std::vector<std::string> &words,
                              const std::string &option) {
        for (std::size_t i = 0; i + 1 < words.size(); i++)
            if (words[i] == option)
                return words[i + 1];
        return "";
    }
    // A lab with LightDM as host "labdm" at octet 20 of LAN 0, and a
    // simulated host "zeta" at octet 11, which tells when it is asked and
    // grabs the display it is given; started.
    std::unique_ptr<LightDM> LabWithLightDM(Stack stack = Stack::kIPv4) {
        if (!LightDMInstalled())
            return nullptr;
        net.AddLan(0, true, 24, stack);
        zeta = net.AddHost(0, 11, {WillingReply("zeta", "idle")});
        net.ManageDisplays(zeta, {0, true});
        std::string ns = net.AddRealHost(0, 20);
        net.Start();
        auto dm = std::make_unique<LightDM>(ns, "labdm");
        EXPECT_TRUE(dm->Listening()) << dm->Log();
        return dm;
    }
    struct Login {
        pid_t server = 0;
        std::string cookie;  ///< read before the host took the display
        std::string display; ///< once the host's window shows
        std::string auth;    ///< an Xauthority file with the cookie
    };
    // Presses `keys` on the list and follows the login they open, of host
    // `host`, until a window of the host's is mapped on its display (the
    // test's clients connect to it only then).
    Login OpenLogin(Program &p, const std::string &keys,
                    const std::string &host) {
        std::vector<pid_t> before = p.Children();
        x.Key(window, keys);
        Login login;
        PollUntil(
            [&] {
                for (pid_t child : p.Children())
                    if (std::find(before.begin(), before.end(), child) ==
                        before.end())
                        login.server = child;
                return login.server != 0;
            },
            3000);
        // Taken while hostpick still has it: it removes the file once the
        // host has taken the display.
        std::string file = Option(CommandLine(login.server), "-auth");
        login.cookie = Cookie(file);
        EXPECT_EQ(login.cookie.size(), 16u);
        login.display =
            AwaitLog(p, "hostpick: " + host + " manages display ", 10000);
        EXPECT_NE(access(file.c_str(), F_OK), 0) << "the file is gone";
        login.auth = AuthFile("/tmp/" + net.client() + "-" + host + "-auth",
                              login.cookie);
        authFiles.push_back(login.auth);
        // A greeter may map a window of its own before its login window.
        EXPECT_TRUE(PollUntil(
            [&] { return MappedWindows(login.display, login.cookie) >= 1; },
            5000, 100));
        return login;
    }
    void TearDown() override {
        for (const std::string &file : authFiles)
            unlink(file.c_str());
    }
    // Opens the session of the only row with the keyboard, and checks that
    // the host's greeter comes up on the nested display while the list
    // stays.
    Login OpenTheGreeter(Program &p, LightDM &dm) {
        AwaitArrivals(1);
        Login login = OpenLogin(p, "Home Return", "labdm"); // before zeta
        EXPECT_FALSE(HasFailure()) << dm.Log();
        EXPECT_EQ(p.Wait(0), -1) << "the list stays";
        EXPECT_NE(x.WaitForWindow(title, 100), 0u);
        EXPECT_EQ(p.Stderr().find("never connects"), std::string::npos)
            << "the kernel's counts were read";
        return login;
    }
    // Opens the login of `row` with the keyboard; the new nested server,
    // once host `host` has connected to it.
    pid_t OpenManaged(Program &p, int row, int host) {
        std::vector<pid_t> before = p.Children();
        x.Key(window, row == 0 ? "Home Return" : "Home Down Return");
        EXPECT_TRUE(
            PollUntil([&] { return net.OpenSessions(host) == 1; }, 10000));
        for (pid_t server : p.Children())
            if (std::find(before.begin(), before.end(), server) == before.end())
                return server;
        return 0;
    }
    // On the desktop that `here` drives, hostpick in the session mode,
    // titled `title`, asking `target`, the first row's login opened by the
    // keyboard; its window in `*list`.
    Program OpenOn(XDriver &here, const std::string &title,
                   const std::string &target, Window *list) {
        std::vector<std::string> args = TestResources(title);
        args.insert(args.end(), {"-session", target});
        Program p = net.Run(args);
        *list = here.WaitForWindow(title);
        EXPECT_NE(*list, 0u) << p.Stderr();
        if (*list != 0) {
            AwaitArrivals(1);
            here.Key(*list, "Home Return");
        }
        return p;
    }
    // hostpick with the login of a host that grabs its display opening;
    // the login's server.
    pid_t OpenGrabbed(Program *p) {
        net.AddLan(0);
        int host = net.AddHost(0, 11, {WillingReply("grabber", "idle")});
        net.ManageDisplays(host, {0, true});
        net.Start();
        *p = Start({"-session", "10.55.0.11"});
        AwaitArrivals(1);
        return OpenManaged(*p, 0, host);
    }
    // Presses F5: a QUERY goes out within 200 ms.
    void ExpectF5AsksAtOnce() {
        double before = net.Now();
        x.Key(window, "F5");
        double pressed = net.Now();
        double asked = 0;
        EXPECT_TRUE(PollUntil(
            [&] {
                for (const Arrival &a : net.Arrivals())
                    asked = a.bytes == kQuery && a.ms > before ? a.ms : asked;
                return asked > 0;
            },
            3000));
        EXPECT_LT(asked - pressed, 200);
    }
    int zeta = -1;
    std::vector<std::string> authFiles;
};

// A host that grabs the nested server holds that login, and nothing else.
TEST_F(Session, AGrabbedServerHoldsNeitherTheListNorTheGiveUp) {
    Program p;
    pid_t server = OpenGrabbed(&p);
    ExpectF5AsksAtOnce();
    AwaitLog(p, "hostpick: grabber did not answer within 15 s", 17000);
    EXPECT_TRUE(PollUntil([&] { return !Runs(server); }, 3000))
        << "the server is gone, and reaped";
    EXPECT_EQ(p.Wait(0), -1);
}

// Two logins: a copy in one reaches the other through the desktop.  A
// login whose host grabs its server holds only the clipboard's bridge: a
// paste from it is refused within the bridge's limit, while a copy on the
// desktop leaves the list answering F5 at once.  A paste over the size
// limit is refused and told.
TEST_F(Session, AGrabbedLoginHoldsNeitherAPasteNorTheList) {
    net.AddLan(0);
    int host = net.AddHost(0, 11, {WillingReply("grabber", "idle")});
    int keeper = net.AddHost(0, 12, {WillingReply("keeper", "idle")});
    for (int h : {host, keeper})
        net.ManageDisplays(h, {1000, false}); // time to read the cookie
    net.Start();
    Program p = Start({"-session", "10.55.0.11", "10.55.0.12"},
                      {"-xrm", "Hostpick.clipboardLimit: 1"});
    AwaitArrivals(2);
    Login grabbed = OpenLogin(p, "Home Return", "grabber");
    Login other = OpenLogin(p, "Home Down Return", "keeper");
    const std::string &nested = grabbed.display, &auth = grabbed.auth;
    const std::string desktop = std::getenv("DISPLAY");

    pid_t large =
        Copy(nested, auth, "clipboard", std::string(1536 * 1024, 'x'));
    EXPECT_TRUE(PollUntil(
        [&] {
            return Paste(desktop, "", "clipboard").empty() &&
                   p.Stderr().find("a paste of more than 1 MB was refused "
                                   "(clipboardLimit)") != std::string::npos;
        },
        10000, 100));
    EndCopy(large);
    pid_t held = Copy(nested, auth, "clipboard", "held");
    EXPECT_TRUE(PollUntil(
        [&] { return Paste(desktop, "", "clipboard") == "held"; }, 10000, 100));
    EXPECT_TRUE(PollUntil(
        [&] { return Paste(other.display, other.auth, "clipboard") == "held"; },
        10000, 100))
        << "from one login to another";

    ASSERT_TRUE(net.GrabSessions(host));
    double start = net.Now();
    double refused = 0;
    std::string pasted = "?";
    std::thread paste([&] {
        pasted = Paste(desktop, "", "clipboard");
        refused = net.Now();
    });
    pid_t copy = Copy(desktop, "", "primary", "copied on the desktop");
    ExpectF5AsksAtOnce();
    paste.join();
    EXPECT_EQ(pasted, "");
    EXPECT_LT(refused - start, 2 * 2000 + 1500) << "each refused within 2 s";
    EXPECT_NE(p.Stderr().find("a paste was refused: the login did not answer "
                              "within 2 s"),
              std::string::npos);
    EXPECT_EQ(p.Wait(0), -1);
    for (pid_t pid : {held, copy})
        EndCopy(pid);
    for (pid_t server : p.Children())
        Stop(server);
}

// Accept again, however often, brings no second server; a server killed
// is told as such; Escape ends hostpick at once and the opening server
// with it.
TEST_F(Session, OneHostHasOneLoginAndEscapeStopsItsOpening) {
    Program p;
    pid_t server = OpenGrabbed(&p);
    x.Key(window, "Return Return Return Return Return Return Return Return "
                  "Return Return");
    const std::string told = "the login of grabber is already opening";
    auto tellings = [&] {
        std::string err = p.Stderr();
        int n = 0;
        for (auto at = err.find(told); at != err.npos;
             at = err.find(told, at + 1))
            n++;
        return n;
    };
    EXPECT_TRUE(PollUntil([&] { return tellings() == 10; }, 5000));
    EXPECT_EQ(p.Children(), std::vector<pid_t>{server});

    Stop(server, SIGKILL);
    AwaitLog(p, "could not be opened: It was stopped (signal 9).", 5000);
    server = OpenManaged(p, 0, 0);
    double before = net.Now();
    x.Key(window, "Escape");
    EXPECT_EQ(p.Wait(1500), 0);
    EXPECT_LT(net.Now() - before, 1500);
    EXPECT_TRUE(PollUntil([&] { return !Runs(server); }, 1000))
        << "the opening server is gone";
}

// The host's first client completes its set-up after hostpick could have
// connected: the session is still the host's.
TEST_F(Session, AHostsLateSetUpIsItsSessionNotHostpicks) {
    net.AddLan(0);
    for (int delay : {300, 100})
        net.ManageDisplays(
            net.AddHost(0, delay / 100 + 10,
                        {WillingReply("late" + std::to_string(delay), "")}),
            {delay, false});
    net.Start();
    Program p = Start({"-session", "10.55.0.11", "10.55.0.13"});
    AwaitArrivals(2);
    pid_t servers[] = {OpenManaged(p, 1, 0), OpenManaged(p, 0, 1)};
    AwaitLog(p, "hostpick: late300 manages display ", 10000);
    AwaitLog(p, "hostpick: late100 manages display ", 10000);
    usleep(5000000); // nothing happens within 5 s
    EXPECT_EQ(net.OpenSessions(0) + net.OpenSessions(1), 2);
    for (pid_t server : servers) {
        EXPECT_TRUE(Runs(server)) << "its server still runs";
        Stop(server);
    }
    EXPECT_EQ(p.Stderr().find("ended"), std::string::npos) << p.Stderr();
}

// The greeter comes up beside the list; text copied on the desktop can be
// pasted in the login, and the other way; the session's end ends the
// login's server all the same, and asks the hosts again.
TEST_F(Session, TheHostsGreeterComesUpSharesTheClipboardAndItsEndAsksAgain) {
    std::unique_ptr<LightDM> dm = LabWithLightDM();
    if (dm == nullptr)
        GTEST_SKIP() << "LightDM is not installed (scripts/setup installs it)";
    Program p = Start({"-session", "10.55.0.20", "10.55.0.11"});
    Login login = OpenTheGreeter(p, *dm);
    pid_t server = login.server;
    const std::string &nested = login.display, &auth = login.auth;
    const std::string desktop = std::getenv("DISPLAY");
    const std::string cjk = "東京の会議は午後三時から、資料は共有フォルダに";
    std::string mega;
    while (mega.size() < 1024 * 1024)
        mega += "line " + std::to_string(mega.size()) + " of a megabyte\n";
    mega.resize(1024 * 1024);
    const std::string latin = "Grüße, 東京", latin1 = "Gr\xfc\xdf"
                                                      "e, ??";
    struct {
        const std::string &from, &fromAuth, &to, &toAuth;
        std::string selection, target;
        const std::string &text, &pasted;
    } ways[] = {
        {desktop, "", nested, auth, "clipboard", "UTF8_STRING", cjk, cjk},
        {nested, auth, desktop, "", "clipboard", "UTF8_STRING", cjk, cjk},
        {desktop, "", nested, auth, "clipboard", "UTF8_STRING", mega, mega},
        {nested, auth, desktop, "", "clipboard", "UTF8_STRING", mega, mega},
        {desktop, "", nested, auth, "primary", "UTF8_STRING", cjk, cjk},
        {nested, auth, desktop, "", "clipboard", "TEXT", latin, latin},
        {nested, auth, desktop, "", "clipboard", "STRING", latin, latin1}};
    for (const auto &way : ways) {
        pid_t copy = Copy(way.from, way.fromAuth, way.selection, way.text);
        std::string pasted;
        EXPECT_TRUE(PollUntil(
            [&] {
                pasted = Paste(way.to, way.toAuth, way.selection, way.target);
                return pasted == way.pasted;
            },
            10000, 100))
            << way.from << " to " << way.to << " " << way.selection << " as "
            << way.target << ": " << pasted.size() << " of "
            << way.pasted.size() << " bytes";
        EndCopy(copy);
    }

    // Its descriptors are its own: no socket or pipe but its standard
    // error, whose reading end hostpick holds, is one of hostpick's.  (An
    // anonymous inode, an epoll set say, is named alike in every process.)
    std::set<std::string> ours;
    for (const auto &[fd, target] : Descriptors(p.pid))
        ours.insert(target);
    for (const auto &[fd, target] : Descriptors(server)) {
        bool named =
            target.starts_with("socket:[") || target.starts_with("pipe:[");
        if (fd != 2 && named) {
            EXPECT_EQ(ours.count(target), 0u) << fd << " " << target;
        }
    }

    size_t asked = net.Arrivals().size();
    dm->Stop();
    AwaitLog(p, "hostpick: the session of labdm ended", 10000);
    EXPECT_TRUE(PollUntil([&] { return net.Arrivals().size() > asked; }, 3000))
        << "the hosts are asked again";
    EXPECT_TRUE(p.Children().empty()) << "no zombie stays";
    EXPECT_EQ(p.Wait(0), -1);
}

// SIGTERM ends hostpick as Cancel does, and by SIGTERM: the login still
// opening goes, the open one stays, and no cookie is left behind.
TEST_F(Session, SIGTERMStopsWhatOpensAndKeepsWhatIsOpen) {
    std::unique_ptr<LightDM> dm = LabWithLightDM();
    if (dm == nullptr)
        GTEST_SKIP() << "LightDM is not installed (scripts/setup installs it)";
    Program p = Start({"-session", "10.55.0.20", "10.55.0.11"});
    pid_t open = OpenTheGreeter(p, *dm).server;
    pid_t opening = OpenManaged(p, 1, zeta);
    ASSERT_NE(opening, 0);
    std::string auth = Option(CommandLine(opening), "-auth");
    ASSERT_EQ(access(auth.c_str(), F_OK), 0) << auth;
    kill(p.pid, SIGTERM);
    EXPECT_EQ(p.Wait(3000), -1);
    EXPECT_EQ(p.status, 128 + SIGTERM);
    EXPECT_NE(access(auth.c_str(), F_OK), 0) << "the cookie is gone";
    std::string folder = auth.substr(0, auth.rfind('/'));
    EXPECT_NE(access(folder.c_str(), F_OK), 0) << "and its folder";
    EXPECT_FALSE(Runs(opening)) << "the opening server is gone";
    EXPECT_TRUE(Runs(open)) << "the open login stays";
    Stop(open);
}

// A session command that ignores SIGTERM goes all the same.
TEST_F(Session, AServerThatIgnoresSIGTERMIsKilled) {
    char script[] = "/tmp/hostpick-stubborn-XXXXXX";
    int fd = mkstemp(script);
    ASSERT_GE(fd, 0);
    std::string text = "#!/bin/sh\ntrap '' TERM\necho 99 >&3\n"
                       "while :; do sleep 1; done\n";
    write(fd, text.data(), text.size());
    close(fd);
    chmod(script, 0700);
    OneHost({WillingReply("stubborn", "idle")});
    Program p = Start({"-session", "10.55.0.11"},
                      {"-xrm", std::string("Hostpick.sessionCommand: ") +
                                   script + " {displayfd}"});
    AwaitArrivals(1);
    PickRow(0);
    pid_t server = Server(p);
    AwaitLog(p, "hostpick: stubborn did not answer within 15 s", 17000);
    EXPECT_TRUE(PollUntil([&] { return !Runs(server); }, 3000))
        << "gone, and reaped";
    unlink(script);
}

// Escape closes the list at once; the session is the person's.
TEST_F(Session, AnIPv6HostsGreeterComesUpAndOutlivesTheList) {
    std::unique_ptr<LightDM> dm = LabWithLightDM(Stack::kIPv6);
    if (dm == nullptr)
        GTEST_SKIP() << "LightDM is not installed (scripts/setup installs it)";
    Program p = Start({"-session", "fd00:55::20", "fd00:55::11"});
    pid_t server = OpenTheGreeter(p, *dm).server;
    x.KeysOutside("Escape");
    EXPECT_EQ(p.Wait(1000), 0);
    EXPECT_TRUE(Runs(server)) << "the session keeps running";
    Stop(server);
}

// The silent host's name is one a shell would take for options and a
// second command: it reaches the server as the title alone.
// A runtime folder that others may write to is not the cookie's.
TEST_F(Session, ASilentHostIsToldWithinFifteenSecondsAndItsServerStopped) {
    const std::string name = "-display :0; x";
    char open[] = "/tmp/hostpick-open-XXXXXX";
    ASSERT_NE(mkdtemp(open), nullptr);
    chmod(open, 0777);
    net.SetEnv("XDG_RUNTIME_DIR", open);
    net.AddLan(0);
    net.AddHost(0, 11, {WillingReply(name, "idle")});
    net.Start();
    Program p = Start({"-session", "10.55.0.11"});
    AwaitArrivals(1);
    std::vector<unsigned long> heading = x.HeadingImage(window);
    PickRow(0);
    pid_t server = Server(p);
    ASSERT_NE(server, 0) << p.Stderr();
    std::vector<std::string> words = CommandLine(server);
    int carrying = 0;
    for (const std::string &w : words)
        carrying += w.find(name) != std::string::npos;
    EXPECT_EQ(carrying, 1);
    EXPECT_NE(Option(words, "-title").find(name), std::string::npos);
    EXPECT_NE(Option(words, "-title")[0], '-');
    EXPECT_EQ(Option(words, "-query"), "10.55.0.11");
    EXPECT_EQ(Option(words, "-auth").rfind(open, 0), std::string::npos)
        << Option(words, "-auth");
    rmdir(open);

    AwaitLog(p, "hostpick: " + name + " did not answer", 17000);
    EXPECT_NE(x.HeadingImage(window), heading) << "the heading tells";
    EXPECT_TRUE(PollUntil([&] { return !Runs(server); }, 3000))
        << "the server is gone, and reaped";
    EXPECT_EQ(p.Wait(0), -1);
}

TEST_F(Session, ADecliningHostIsTold) {
    net.AddLan(0);
    int host = net.AddHost(0, 11, {WillingReply("picky", "idle")});
    net.AnswerRequests(host, DeclineReply("Not for you"));
    net.Start();
    Program p = Start({"-session", "10.55.0.11"});
    AwaitArrivals(1);
    PickRow(0);
    std::string why =
        AwaitLog(p, "hostpick: the login of picky could not be opened: ", 5000);
    // Xephyr's own words; it leaves the host's status out.
    EXPECT_NE(why.find("Session declined"), std::string::npos) << why;
    EXPECT_EQ(p.Wait(0), -1);
}

// Nothing is printed and nothing reaches the display manager, whose
// address is given all the same.
TEST_F(Session, AMissingServerIsToldAndNothingIsReported) {
    OneHost({WillingReply("alpha", "idle")});
    Program p =
        Start({"-session", "-vornaddress", VornAddress(net.ListenForReport()),
               "10.55.0.11"},
              {"-xrm", "Hostpick.sessionCommand: hostpick-no-such-server "
                       "-query {address}"});
    AwaitArrivals(1);
    PickRow(0);
    AwaitLog(p,
             "hostpick: cannot start hostpick-no-such-server: No such file or "
             "directory",
             3000);
    EXPECT_EQ(p.Wait(500), -1) << "hostpick keeps running";
    EXPECT_EQ(p.Stdout(), "");
    EXPECT_TRUE(net.Reports().empty());
}

// With no host given, the session mode asks the network around.
TEST_F(Session, WithNoHostGivenTheNetworkAroundIsAsked) {
    OneHost({WillingReply("near", "idle")});
    Program p = Start({"-session"});
    AwaitArrivals(1);
    EXPECT_EQ(net.Arrivals().front().bytes, kBroadcastQuery);
}

// A top-level window's outer area on `d`, frame and all, and its
// _NET_WM_NAME and WM_CLASS instance.
struct TopLevel {
    int x = 0, y = 0, width = 0, height = 0;
    std::string name, instance;
};

TopLevel Describe(Display *d, Window w) {
    TopLevel t;
    Window child;
    XWindowAttributes a;
    XGetWindowAttributes(d, w, &a);
    XTranslateCoordinates(d, w, a.root, 0, 0, &t.x, &t.y, &child);
    long *extents = nullptr;
    unsigned char *data = nullptr;
    Atom type;
    int format;
    unsigned long n, after;
    if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_FRAME_EXTENTS", False), 0,
                           4, False, XA_CARDINAL, &type, &format, &n, &after,
                           &data) == Success &&
        n == 4)
        extents = reinterpret_cast<long *>(data);
    t.x -= extents != nullptr ? extents[0] : 0;
    t.y -= extents != nullptr ? extents[2] : 0;
    t.width = a.width + (extents != nullptr ? extents[0] + extents[1] : 0);
    t.height = a.height + (extents != nullptr ? extents[2] + extents[3] : 0);
    XFree(data);
    data = nullptr;
    if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), 0, 1024,
                           False, XInternAtom(d, "UTF8_STRING", False), &type,
                           &format, &n, &after, &data) == Success &&
        data != nullptr)
        t.name.assign(reinterpret_cast<char *>(data), n);
    XFree(data);
    XClassHint hint{};
    if (XGetClassHint(d, w, &hint) != 0) {
        t.instance = hint.res_name;
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    return t;
}

// On a 1920x1080 desktop with a window manager, the login opens beside the
// list, both whole, and its window is named in UTF-8 and classed as
// hostpick's.
TEST_F(Session, OnADesktopTheLoginStandsBesideTheListAndIsNamed) {
    std::unique_ptr<LightDM> dm = LabWithLightDM();
    if (dm == nullptr)
        GTEST_SKIP() << "LightDM is not installed (scripts/setup installs it)";
    pid_t xserver = 0;
    std::string desktop =
        StartPrivateX(&xserver, {"Xvfb", "-screen", "0", "1920x1080x24"});
    ASSERT_FALSE(desktop.empty());
    pid_t wm = fork();
    if (wm == 0) {
        setenv("DISPLAY", desktop.c_str(), 1);
        execlp("openbox", "openbox", "--sm-disable", nullptr);
        _exit(127);
    }
    On(desktop, [&] {
        XDriver here;
        Display *d = XOpenDisplay(desktop.c_str());
        ASSERT_TRUE(PollUntil(
            [&] {
                return XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", True) != None;
            },
            10000));
        Window list = 0;
        Program p = OpenOn(here, "desktop-list", "10.55.0.20", &list);
        ASSERT_NE(list, 0u);
        AwaitLog(p, "labdm manages display ", 10000);
        Window login = here.WaitForWindow("labdm: login");
        ASSERT_NE(login, 0u);
        TopLevel a = Describe(d, list);
        TopLevel b = Describe(d, login);
        EXPECT_TRUE(a.x + a.width <= b.x || b.x + b.width <= a.x)
            << a.x << "+" << a.width << " and " << b.x << "+" << b.width;
        EXPECT_GE(b.x, 0);
        EXPECT_LE(b.x + b.width, 1920);
        EXPECT_EQ(b.name, "labdm: login");
        EXPECT_EQ(b.instance, "hostpick-login");
        EXPECT_EQ(a.name, "desktop-list");
        for (pid_t server : p.Children())
            Stop(server);
        XCloseDisplay(d);
    });
    Stop(wm);
    Stop(xserver);
    waitpid(wm, nullptr, 0);
    waitpid(xserver, nullptr, 0);
}

// Runs `test` on a dense desktop with a German keyboard without dead keys:
// an Xephyr, as Xvfb ignores a layout.
template <typename Test> void OnDenseGermanDesktop(Test test) {
    OnPrivateX({"Xephyr", "-screen", "1280x800", "-dpi", "192", "-xkb-layout",
                "de", "-xkb-variant", "nodeadkeys"},
               test);
}

// On such a desktop, the login gets both.
TEST_F(Session, TheLoginHasTheDesktopsDensityAndKeyboard) {
    net.AddLan(0);
    int host = net.AddHost(0, 11, {WillingReply("keeper", "idle")});
    net.ManageDisplays(host, {0, false});
    net.Start();
    std::string copy = "/tmp/" + net.client() + "-nested-auth";
    std::string out = "/tmp/" + net.client() + "-nested.txt";
    OnDenseGermanDesktop([&] {
        XDriver here;
        Window list = 0;
        Program p = OpenOn(here, "dense-list", "10.55.0.11", &list);
        pid_t server = Server(p);
        std::vector<std::string> words = CommandLine(server);
        std::ofstream(copy) << ReadFile(Option(words, "-auth"));
        EXPECT_EQ(std::count(words.begin(), words.end(), "-no-host-grab"), 1);
        EXPECT_EQ(std::count(words.begin(), words.end(), "-xkb-options"), 0)
            << "the desktop names no options";
        std::string display = AwaitLog(p, "keeper manages display ", 10000);
        net.Exec("env XAUTHORITY=" + copy + " DISPLAY=" + display +
                 " sh -c 'xdpyinfo; setxkbmap -query' > " + out);
        std::string seen = ReadFile(out);
        std::size_t at = seen.find("resolution:");
        ASSERT_NE(at, std::string::npos) << seen;
        EXPECT_NEAR(std::atoi(seen.c_str() + at + 11), 192, 19);
        EXPECT_NE(seen.find("layout:     de"), std::string::npos) << seen;
        EXPECT_NE(seen.find("variant:    nodeadkeys"), std::string::npos);
        Stop(server);
    });
    std::remove(copy.c_str());
    std::remove(out.c_str());
}

// And LightDM's greeter comes up on that nested display.
TEST_F(Session, TheHostsGreeterComesUpOnADenseGermanDesktop) {
    std::unique_ptr<LightDM> dm = LabWithLightDM();
    if (dm == nullptr)
        GTEST_SKIP() << "LightDM is not installed (scripts/setup installs it)";
    OnDenseGermanDesktop([&] {
        XDriver here;
        Window list = 0;
        Program p = OpenOn(here, "dense-greeter", "10.55.0.20", &list);
        pid_t server = Server(p);
        std::string cookie = Cookie(Option(CommandLine(server), "-auth"));
        std::string display = AwaitLog(p, "labdm manages display ", 10000);
        EXPECT_TRUE(PollUntil(
            [&] { return MappedWindows(display, cookie) >= 1; }, 5000, 100))
            << dm->Log();
        Stop(server);
    });
}

} // namespace

namespace {

// The outer display's screen, as hostpick's windows see it.
Geometry Screen() {
    Display *d = XOpenDisplay(nullptr);
    Geometry g{0, 0, DisplayWidth(d, 0), DisplayHeight(d, 0), 0};
    XCloseDisplay(d);
    return g;
}

Window Focus() {
    Display *d = XOpenDisplay(nullptr);
    Window focus = None;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    XCloseDisplay(d);
    return focus;
}

// A station on the test's bare X server, with no window manager: the list
// covers the screen, Escape leaves it, the login covers the screen while
// the list steps aside, and the login's end brings the list back, with the
// focus, asking again at once.
TEST_F(Session, AStationsLoginCoversTheScreenAndItsEndBringsTheListBack) {
    std::unique_ptr<LightDM> dm = LabWithLightDM();
    if (dm == nullptr)
        GTEST_SKIP() << "LightDM is not installed (scripts/setup installs it)";
    Geometry screen = Screen();
    Program p = Start({"-station", "10.55.0.20", "10.55.0.11"});
    Geometry list = x.GeometryOf(window);
    EXPECT_EQ(list.width, screen.width);
    EXPECT_EQ(list.height, screen.height);
    AwaitArrivals(1, 5000, 2); // zeta's QUERY, and both rows
    x.Key(window, "Escape");
    usleep(300 * 1000); // nothing ends it within
    EXPECT_EQ(p.Wait(0), -1) << "Escape leaves a station running";

    Login opened = OpenLogin(p, "Home Return", "labdm"); // before zeta
    Window login = x.WaitForWindow("labdm: login");
    ASSERT_NE(login, 0u);
    EXPECT_EQ(x.GeometryOf(login).width, screen.width);
    EXPECT_EQ(x.GeometryOf(login).height, screen.height);
    EXPECT_TRUE(PollUntil([&] { return x.WaitForWindow(title, 0) == 0; }, 3000))
        << "the list steps aside";
    pid_t copy = Copy(std::getenv("DISPLAY"), "", "clipboard", "not shared");
    usleep(1000 * 1000); // nothing crosses within
    EXPECT_EQ(Paste(opened.display, opened.auth, "clipboard"), "")
        << "a station shares no clipboard by default";
    EndCopy(copy);

    size_t asked = net.Arrivals().size();
    dm->Stop();
    AwaitLog(p, "hostpick: the session of labdm ended", 10000);
    EXPECT_TRUE(
        PollUntil([&] { return net.Arrivals().size() > asked; }, 1000, 20))
        << "a QUERY within 1 s";
    EXPECT_NE(x.WaitForWindow(title, 3000), 0u) << "the list is back";
    EXPECT_TRUE(PollUntil([&] { return Focus() == window; }, 3000));
    EXPECT_EQ(p.Wait(0), -1);
    Stop(opened.server);
}

// A host on a subnet that no broadcast reaches, asked by name the first
// time, is remembered once its login shows, first in a file of twenty at
// most, mode 0600; the next start asks it with BROADCAST alone, lists it,
// selects it, and tells how many remembered hosts did not answer.
TEST_F(Session, ARememberedHostOnAnotherSubnetIsAskedAndSelected) {
    net.DisableIPv6();
    net.AddLan(0);
    net.AddLan(1);
    net.RouteOnly(1);
    net.AddHost(0, 11, {WillingReply("near", "idle")});
    int far = net.AddHost(1, 21, {WillingReply("far", "idle")});
    net.ManageDisplays(far, {});
    net.Start();
    std::string file = net.StateFolder() + "/hostpick/hosts";
    std::system(("mkdir -p " + net.StateFolder() + "/hostpick").c_str());
    {
        std::ofstream seeded(file);
        for (int i = 1; i <= 20; i++) // silent, the oldest first to go
            seeded << "10.57.0." << i << " old" << i << "\n";
    }

    Program p = Start({"-session", "10.56.0.21"});
    AwaitArrivals(1);
    x.Key(window, "Home Return"); // far, before near: not asked
    AwaitLog(p, "hostpick: far manages display ", 10000);
    struct stat s {};
    ASSERT_EQ(stat(file.c_str(), &s), 0);
    EXPECT_EQ(s.st_mode & 0777, 0600u);
    std::string lines = ReadFile(file);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 20);
    EXPECT_TRUE(lines.starts_with("10.56.0.21 far\n")) << lines;
    p.Kill();
    for (pid_t server : p.Children())
        Stop(server);

    Program q = Start({"-session", "BROADCAST"});
    EXPECT_TRUE(PollUntil(
        [&] {
            for (const Arrival &a : net.Arrivals())
                if (a.host == far && a.bytes.size() > 3 && a.bytes[3] == 2)
                    return true;
            return false;
        },
        3000))
        << "far is asked";
    AwaitRows(2, 3000);
    x.Key(window, "Return"); // far, selected as it answered
    AwaitLog(q, "hostpick: opening the login of far", 5000);
    AwaitLog(q, "hostpick: 19 remembered hosts did not answer", 10000);
    q.Kill();
    for (pid_t server : q.Children())
        Stop(server);

    // Garbage: one line on standard error, and the list as ever.
    std::ofstream(file) << "\x01\x02 garbage\nnot an address\n";
    Program r = Start({"-session", "BROADCAST"});
    AwaitArrivals(net.Arrivals().size() + 1);
    EXPECT_EQ(r.Wait(0), -1);
    r.Kill();
    std::string err = r.Stderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

} // namespace
