// gtest comes before the X headers, whose macros (None, Bool) it
// would otherwise trip over.
#include <gtest/gtest.h>

#include "shell/options.h"

#include "shell/settings.h"

#include <X11/Shell.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/alloc_fail.h"
#include "tests/toolkit.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Settings as the toolkit delivers them: a fresh application context per
// case, with the given command line and resource file.
struct Loaded {
    LaunchSettings settings;
    std::vector<std::string> remaining;
};

Bytes Body(const ARRAY8 *a) {
    return a == nullptr ? Bytes{} : Bytes(a->data, a->data + a->length);
}

Loaded Load(std::vector<std::string> args, const std::string &resources = "") {
    EnsureToolkit();
    char path[] = "/tmp/hostpick-resources-XXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, resources.data(), resources.size()),
              static_cast<ssize_t>(resources.size()));
    close(fd);
    setenv("XENVIRONMENT", path, 1);

    args.insert(args.begin(), "hostpick");
    std::vector<char *> argv;
    argv.reserve(args.size() + 1);
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(args.size());

    XtAppContext app = XtCreateApplicationContext();
    Display *display =
        XtOpenDisplay(app, nullptr, "hostpick", "Hostpick", settingsOptions,
                      settingsOptionCount, &argc, argv.data());
    EXPECT_NE(display, nullptr);
    Widget shell =
        XtAppCreateShell("hostpick", "Hostpick", applicationShellWidgetClass,
                         display, nullptr, 0);
    settings = {nullptr, nullptr, 0};
    LoadSettings(shell);
    Loaded result{settings, {}};
    for (int i = 1; i < argc; i++)
        result.remaining.emplace_back(argv[i]);
    EXPECT_EQ(argv[argc], nullptr);
    // The context stays open: destroying it leaks the Athena widgets'
    // input-method records, which would drown real leaks in the reports.
    unsetenv("XENVIRONMENT");
    unlink(path);
    return result;
}

TEST(LaunchSettings, NoOptionsLeaveBothAddressesNullAndTypeZero) {
    Loaded l = Load({});
    EXPECT_EQ(l.settings.vornAddress, nullptr);
    EXPECT_EQ(l.settings.clientAddress, nullptr);
    EXPECT_EQ(l.settings.connectionType, 0);
}

TEST(LaunchSettings, OptionsAreConvertedFromHexadecimal) {
    Loaded l = Load({"-vornaddress", "000200b10a000001", "-clientaddress",
                     "0a000005", "-connectionType", "7", "BROADCAST", "alpha"});
    EXPECT_EQ(Body(l.settings.vornAddress),
              (Bytes{0x00, 0x02, 0x00, 0xb1, 0x0a, 0x00, 0x00, 0x01}));
    EXPECT_EQ(Body(l.settings.clientAddress), (Bytes{0x0a, 0x00, 0x00, 0x05}));
    EXPECT_EQ(l.settings.connectionType, 7);
    EXPECT_EQ(l.remaining, (std::vector<std::string>{"BROADCAST", "alpha"}));
}

TEST(LaunchSettings, OnlyTheCapitalisedConnectionTypeOptionIsKnown) {
    Loaded l = Load({"-connectiontype", "7", "host"});
    EXPECT_EQ(l.settings.connectionType, 0);
    EXPECT_EQ(l.remaining,
              (std::vector<std::string>{"-connectiontype", "7", "host"}));
}

TEST(LaunchSettings, ResourceFileValuesReachTheSettings) {
    Loaded l = Load({}, "Hostpick*vornAddress: 00021f907f000001\n"
                        "Hostpick*clientAddress:\n"
                        "Hostpick*connectionType: 65537\n");
    EXPECT_EQ(Body(l.settings.vornAddress),
              (Bytes{0x00, 0x02, 0x1f, 0x90, 0x7f, 0x00, 0x00, 0x01}));
    ASSERT_NE(l.settings.clientAddress, nullptr);
    EXPECT_EQ(l.settings.clientAddress->length, 0)
        << "empty text, empty ARRAY8";
    EXPECT_EQ(l.settings.connectionType, 65537);
}

TEST(LaunchSettings, CommandLineOverridesTheResourceFile) {
    Loaded l = Load({"-connectionType", "3"}, "*connectionType: 9\n");
    EXPECT_EQ(l.settings.connectionType, 3);
}

// Each value with the bytes it yields and whether the toolkit warned.
TEST(LaunchSettings, ValuesAsPeopleWriteThemAndWarningsForTheRest) {
    struct Case {
        std::string text;
        Bytes bytes;
        bool warned;
    } cases[] = {
        {"00020FA07F000001", {0, 2, 0x0f, 0xa0, 0x7f, 0, 0, 1}, false},
        {"0a0B", {0x0a, 0x0b}, false},
        {"zz", {static_cast<unsigned char>(('z' - 'a' + 10) * 17)}, true},
        {std::string(2 * 65536, '0'), {}, true}, // more than a CARD16 counts
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStderr();
        Loaded l = Load({"-clientaddress", c.text});
        std::string warning = testing::internal::GetCapturedStderr();
        ASSERT_NE(l.settings.clientAddress, nullptr);
        EXPECT_EQ(Body(l.settings.clientAddress), c.bytes) << c.text.size();
        EXPECT_EQ(warning.find("ARRAY8") != std::string::npos, c.warned)
            << warning;
    }
    testing::internal::CaptureStderr();
    Loaded odd = Load({"-clientaddress", "abc"});
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(odd.settings.clientAddress->length, 2) << "decoded as before";
    EXPECT_EQ(odd.settings.clientAddress->data[0], 0xab);
}

TEST(StringToArray8, BodyAllocationFailureWarnsAndYieldsAnEmptyArray) {
    char text[] = "0a0b";
    XrmValue source = {sizeof(text), text};
    XrmValue destination = {0, nullptr};
    testing::internal::CaptureStderr();
    FailAllocation();
    StringToArray8(nullptr, nullptr, &source, &destination);
    AllowAllocations();
    std::string warning = testing::internal::GetCapturedStderr();
    ASSERT_EQ(destination.size, sizeof(ARRAY8 *));
    const ARRAY8 *result = *reinterpret_cast<ARRAY8 **>(destination.addr);
    EXPECT_EQ(result->length, 0);
    EXPECT_EQ(result->data, nullptr);
    EXPECT_NE(warning.find("ARRAY8"), std::string::npos) << warning;
    XtFree(reinterpret_cast<char *>(const_cast<ARRAY8 *>(result)));
}

} // namespace
