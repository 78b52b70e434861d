#include <gtest/gtest.h>

#include "selection/command.h"

#include <string>
#include <vector>

namespace {

using Words = std::vector<std::string>;

TEST(SessionCommand, PlaceholdersAreFilledInWithinTheirWords) {
    const Placeholder values[] = {{"address", "fe80::1%lan0"},
                                  {"title", "-display :0; x: login"},
                                  {"size", "768x576"},
                                  {"host", ""}};
    const struct {
        const char *command;
        Words words;
    } cases[] = {
        {"Xephyr -query {address} -title {title} -screen {size}",
         {"Xephyr", "-query", "fe80::1%lan0", "-title", "-display :0; x: login",
          "-screen", "768x576"}},
        {"  a\t\t{size}x2  ", {"a", "768x576x2"}},
        {"{unknown} {address {host}} {", {"{unknown}", "{address", "}", "{"}},
        {"", {}},
        {"X -a {host} -b {host}x {size} -c {host} {host}",
         {"X", "-b", "x", "768x576"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CommandWords(c.command, values), c.words) << c.command;
    EXPECT_EQ(Expand("{host}{host}: {reason}", values), ": {reason}");
}

} // namespace
