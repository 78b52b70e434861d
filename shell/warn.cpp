#include "shell/warn.h"

#include <cstdarg>
#include <cstdio>

// One fprintf, so that lines of the program and of its children do not
// interleave within a line.
void Warn(const char *format, ...) {
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    // The analyser does not see va_start start glibc's va_list.
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    std::fprintf(stderr, "hostpick: %s\n", text);
}
