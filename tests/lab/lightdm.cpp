#include "tests/lab/lightdm.h"

#include "tests/lab/netns.h"
#include "tests/lab/poll.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace {

constexpr int kXdmcpPort = 177;

// Its own configuration: no seat of its own, XDMCP on, and logs, state and
// caches in `dir`.
void WriteFiles(const std::string &dir) {
    std::ofstream(dir + "/lightdm.conf") << "[LightDM]\n"
                                            "start-default-seat=false\n"
                                            "[XDMCPServer]\n"
                                            "enabled=true\n";
    std::ofstream(dir + "/bus.conf")
        << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
           "Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/"
           "busconfig.dtd\">\n"
           "<busconfig><type>system</type>\n"
           "<listen>unix:path="
        << dir
        << "/bus</listen><auth>EXTERNAL</auth>\n"
           "<policy context=\"default\"><allow user=\"*\"/><allow own=\"*\"/>"
           "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
           "</policy></busconfig>\n";
    std::ofstream(dir + "/run.sh")
        << "set -e\n"
           "hostname \"$2\"\n"
           "mount --bind \"$1/lib\" /var/lib/lightdm\n"
           "dbus-daemon --config-file=\"$1/bus.conf\" --fork --print-pid "
           ">\"$1/bus.pid\"\n"
           "export DBUS_SYSTEM_BUS_ADDRESS=\"unix:path=$1/bus\"\n"
           "exec lightdm --test-mode -d -c \"$1/lightdm.conf\" "
           "--log-dir \"$1/log\" --run-dir \"$1/run\" --cache-dir "
           "\"$1/cache\"\n";
}

} // namespace

bool LightDMInstalled() {
    return access("/usr/sbin/lightdm", X_OK) == 0 &&
           access("/usr/sbin/lightdm-gtk-greeter", X_OK) == 0 &&
           getpwnam("lightdm") != nullptr;
}

LightDM::LightDM(const std::string &ns, const std::string &hostname) {
    char dir[] = "/tmp/hostpick-lightdm-XXXXXX";
    if (mkdtemp(dir) == nullptr)
        return;
    dir_ = dir;
    for (const char *sub : {"/log", "/run", "/cache", "/lib"})
        mkdir((dir_ + sub).c_str(), 0755);
    // The greeter runs as the lightdm user and writes its state there.
    const passwd *user = getpwnam("lightdm");
    if (user != nullptr)
        chown((dir_ + "/lib").c_str(), user->pw_uid, user->pw_gid);
    WriteFiles(dir_);
    std::string out = dir_ + "/out";
    pid_ = fork();
    if (pid_ == 0) {
        // A test that dies ends its LightDM too.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        dup2(fd, 2);
        execlp("ip", "ip", "netns", "exec", ns.c_str(), "unshare", "-m", "-u",
               "/bin/sh", (dir_ + "/run.sh").c_str(), dir_.c_str(),
               hostname.c_str(), nullptr);
        _exit(127);
    }
    // ip, unshare and sh each run the next in their place: the PID is
    // LightDM's, whose network namespace /proc shows.
    listening_ = AwaitUdpPort(pid_, kXdmcpPort, 10000);
}

LightDM::~LightDM() {
    Stop();
    if (!dir_.empty())
        std::system(("rm -rf '" + dir_ + "'").c_str());
}

void LightDM::Stop() {
    listening_ = false;
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status;
        bool ended = PollUntil(
            [&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 5000, 50);
        if (!ended) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    pid_t bus = std::atoi(ReadFile(dir_ + "/bus.pid").c_str());
    if (bus > 0)
        kill(bus, SIGTERM);
    std::remove((dir_ + "/bus.pid").c_str());
}

std::string LightDM::Log() const {
    std::string all = ReadFile(dir_ + "/out");
    DIR *logs = opendir((dir_ + "/log").c_str());
    for (dirent *e; logs != nullptr && (e = readdir(logs)) != nullptr;)
        if (e->d_name[0] != '.')
            all += "--- " + std::string(e->d_name) + "\n" +
                   ReadFile(dir_ + "/log/" + e->d_name);
    if (logs != nullptr)
        closedir(logs);
    return all;
}
