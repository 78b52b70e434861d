#include <gtest/gtest.h>

#include "shell/usage.h"

#include <string>
#include <vector>

namespace {

// The words of a command line, argv[0] first, null-terminated.
struct Words {
    explicit Words(std::vector<std::string> w) : words(std::move(w)) {
        for (std::string &word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
    }
    std::vector<std::string> words;
    std::vector<char *> argv;
};

TEST(Usage, HelpVersionAndUnknownOptionsAreTheFirstOfTheirKind) {
    const struct {
        std::vector<std::string> words;
        Asked asked;
        const char *unknown;
    } rows[] = {
        {{"hostpick"}, Asked::kRun, nullptr},
        {{"hostpick", "BROADCAST", "orion"}, Asked::kRun, nullptr},
        {{"hostpick", "--help"}, Asked::kHelp, "--help"},
        {{"hostpick", "orion", "-help"}, Asked::kHelp, "-help"},
        {{"hostpick", "--version", "-help"}, Asked::kVersion, "--version"},
        {{"hostpick", "-version"}, Asked::kVersion, "-version"},
        {{"hostpick", "orion", "-nosuch", "-x"}, Asked::kRun, "-nosuch"},
        {{"hostpick", "fe80::1%lan0", "10.0.0.255"}, Asked::kRun, nullptr},
        {{"hostpick", "help", "version"}, Asked::kRun, nullptr},
    };
    for (const auto &r : rows) {
        Words w(r.words);
        EXPECT_EQ(AskedFor(w.argv.data()), r.asked) << r.words.back();
        const char *unknown = UnknownOption(w.argv.data() + 1);
        EXPECT_EQ(unknown != nullptr ? std::string(unknown) : "",
                  r.unknown != nullptr ? r.unknown : "")
            << r.words.back();
    }
}

} // namespace
