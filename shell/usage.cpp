#include "shell/usage.h"

#include <string_view>

namespace {

constexpr char kSynopsis[] =
    "usage: hostpick [toolkit options] [-session|-station] [-scale auto|N]\n"
    "                [-contrast]"
    " [-vornaddress hex] [-clientaddress hex]\n"
    "                [-connectionType n] [target ...]\n"
    "  -session            open the picked host's login in a window here\n"
    "  -station            a terminal's whole login station: the list and\n"
    "                      each login full screen, the list again after\n"
    "  -scale auto|N       draw at that scale, 1 to 4 (auto: as the\n"
    "                      screen's density has it)\n"
    "  -contrast           draw in high contrast\n"
    "  -vornaddress hex    the display manager's address, to report to\n"
    "  -clientaddress hex  the display's address, for the report\n"
    "  -connectionType n   its connection type, for the report\n"
    "  -help, -version     print this, or the version, and exit\n"
    "  target              a host's name or address, a network's\n"
    "                      broadcast address, or BROADCAST\n"
    "The toolkit's options (-display, -geometry, -xrm, -name...) work as\n"
    "in every X program.  See hostpick(1).\n";

} // namespace

Asked AskedFor(char *const *argv) {
    for (char *const *word = argv + 1; *word != nullptr; word++) {
        std::string_view w = *word;
        if (w == "-help" || w == "--help")
            return Asked::kHelp;
        if (w == "-version" || w == "--version")
            return Asked::kVersion;
    }
    return Asked::kRun;
}

const char *UnknownOption(char *const *words) {
    for (; *words != nullptr; words++)
        if ((*words)[0] == '-')
            return *words;
    return nullptr;
}

void PrintSynopsis(std::FILE *out) {
    std::fputs(kSynopsis, out);
}

void PrintVersion(std::FILE *out) {
    std::fputs("hostpick " HOSTPICK_VERSION "\n", out);
}
