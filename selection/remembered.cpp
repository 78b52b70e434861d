#include "selection/remembered.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr char kFile[] = "/hostpick/hosts";
constexpr std::size_t kMostLineBytes = 1024;

// A numeric address as the list's rows key it: IPv4, or IPv6 with an
// interface after "%" for a link-local one.
bool Numeric(const std::string &address) {
    unsigned char bytes[16];
    std::string bare = address.substr(0, address.find('%'));
    return inet_pton(AF_INET, address.c_str(), bytes) == 1 ||
           inet_pton(AF_INET6, bare.c_str(), bytes) == 1;
}

// Each folder of `path`'s, made where missing.
int MakeFolders(const std::string &path) {
    for (std::size_t at = path.find('/', 1); at != std::string::npos;
         at = path.find('/', at + 1)) {
        std::string folder = path.substr(0, at);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

} // namespace

std::string RememberedPath() {
    const char *state = std::getenv("XDG_STATE_HOME");
    // The XDG rule: a relative path is no state home.
    if (state != nullptr && state[0] == '/')
        return std::string(state) + kFile;
    const char *home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return std::string(home) + "/.local/state" + kFile;
    return "";
}

RememberedFile ReadRemembered(const std::string &path) {
    RememberedFile file;
    FILE *in = std::fopen(path.c_str(), "re");
    if (in == nullptr) {
        if (errno != ENOENT)
            file.unreadable = std::strerror(errno);
        return file;
    }
    char *read = nullptr;
    std::size_t room = 0;
    ssize_t length = 0;
    while ((length = getline(&read, &room, in)) >= 0) {
        std::string line(read, static_cast<std::size_t>(length));
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        std::size_t blank = line.find(' ');
        Remembered host{line.substr(0, blank), blank == std::string::npos
                                                   ? ""
                                                   : line.substr(blank + 1)};
        bool taken = false;
        for (const Remembered &known : file.hosts)
            taken = taken || known.address == host.address;
        if (line.size() > kMostLineBytes || !Numeric(host.address))
            file.badLines++;
        else if (!taken && file.hosts.size() < kMostRemembered)
            file.hosts.push_back(std::move(host));
    }
    if (std::ferror(in))
        file.unreadable = std::strerror(errno);
    std::free(read);
    std::fclose(in);
    return file;
}

std::vector<Remembered> WithNewest(std::vector<Remembered> hosts,
                                   const Remembered &newest) {
    std::erase_if(hosts, [&](const Remembered &host) {
        return host.address == newest.address;
    });
    hosts.insert(hosts.begin(), newest);
    if (hosts.size() > kMostRemembered)
        hosts.resize(kMostRemembered);
    return hosts;
}

int WriteRemembered(const std::string &path,
                    const std::vector<Remembered> &hosts) {
    int error = MakeFolders(path);
    if (error != 0)
        return error;
    std::string temporary = path + ".new";
    int fd =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    std::string text;
    try {
        for (const Remembered &host : hosts) {
            // A name never breaks its line.
            std::string name = host.name;
            for (char &c : name)
                if (c == '\n' || c == '\r')
                    c = '?';
            text.append(host.address).append(" ").append(name).append("\n");
        }
    } catch (const std::bad_alloc &) {
        error = ENOMEM;
    }
    for (std::size_t at = 0; error == 0 && at < text.size();) {
        ssize_t written = write(fd, text.data() + at, text.size() - at);
        if (written < 0 && errno != EINTR)
            error = errno;
        else if (written > 0)
            at += static_cast<std::size_t>(written);
    }
    if (error == 0 && (fchmod(fd, 0600) != 0 || fsync(fd) != 0))
        error = errno;
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0)
        unlink(temporary.c_str());
    return error;
}
