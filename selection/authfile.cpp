#include "selection/authfile.h"

#include <X11/Xauth.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

bool Failed(int *error) {
    *error = errno;
    return false;
}

} // namespace

// The server takes every entry of its -auth file as its own.
bool WriteAuthFile(Server *server, int *error) {
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat folder;
    std::string where;
    // A runtime folder is the user's, and the user's alone (as the XDG
    // base directories have it): another user could otherwise swap the
    // cookie.
    if (runtime != nullptr && runtime[0] == '/' &&
        stat(runtime, &folder) == 0 && S_ISDIR(folder.st_mode) &&
        folder.st_uid == geteuid() && (folder.st_mode & 077) == 0) {
        where = runtime;
    } else {
        char made[] = "/tmp/hostpick-XXXXXX";
        if (mkdtemp(made) == nullptr)
            return Failed(error);
        where = server->authFolder = made;
    }
    if (getrandom(server->cookie, kCookieBytes, 0) != kCookieBytes)
        return Failed(error);
    std::string path = where + "/hostpick-auth-XXXXXX";
    int fd = mkostemp(path.data(), O_CLOEXEC); // mode 0600
    if (fd < 0)
        return Failed(error);
    server->authFile = path;
    FILE *file = fdopen(fd, "we");
    if (file == nullptr) {
        close(fd);
        return Failed(error);
    }
    Xauth entry = {FamilyWild,
                   0,
                   nullptr,
                   0,
                   nullptr, // any address, display
                   sizeof(kCookieName) - 1,
                   const_cast<char *>(kCookieName),
                   kCookieBytes,
                   reinterpret_cast<char *>(server->cookie)};
    bool written = XauWriteAuth(file, &entry) != 0 && std::fflush(file) == 0;
    *error = written ? 0 : EIO;
    return std::fclose(file) == 0 && written;
}

void RemoveAuthFile(Server *server) {
    if (!server->authFile.empty())
        unlink(server->authFile.c_str());
    if (!server->authFolder.empty())
        rmdir(server->authFolder.c_str());
    server->authFile.clear();
    server->authFolder.clear();
}
