#include <gtest/gtest.h>

#include "shell/breaking.h"

#include <string>
#include <vector>

namespace {

// A cell per character, two for a CJK one (any of three bytes here).
int Cells(std::string_view text) {
    int cells = 0;
    for (unsigned char byte : text)
        cells += (byte & 0xc0) == 0x80 ? 0 : byte >= 0xe0 ? 2 : 1;
    return cells;
}

TEST(BreakLines, AtSpacesBetweenCjkAndInsideWordsTooLong) {
    using Lines = std::vector<std::string>;
    const struct {
        const char *text;
        int width;
        int most;
        Lines lines;
        bool cut;
    } rows[] = {
        {"The login of orion could not be opened.",
         20,
         4,
         {"The login of orion", "could not be opened."},
         false},
        {"No host answered.  Press Ping (F5) to search again.",
         24,
         4,
         {"No host answered.  Press", "Ping (F5) to search", "again."},
         false},
        {"fits", 4, 4, {"fits"}, false},
        {"", 10, 4, {}, false},
        {"averyveryverylongname.example ok",
         10,
         4,
         {"averyveryv", "erylongnam", "e.example", "ok"},
         false},
        {"orion のログイン画面を開けませんでした。",
         12,
         4,
         {"orion のログ", "イン画面を開", "けませんでし", "た。"},
         false},
        {"「検索」で再検索", 8, 4, {"「検索」", "で再検索"}, false},
        {"「検索」で", 6, 4, {"「検", "索」で"}, false},
        {"one two three four five six", 5, 3, {"one", "two", "thr…"}, true},
        {"first\nsecond line", 20, 4, {"first", "second line"}, false},
        {"x", 0, 4, {"x"}, false},
    };
    for (const auto &r : rows) {
        Broken b = BreakLines(r.text, r.width, r.most, Cells, "…");
        EXPECT_EQ(b.lines, r.lines) << r.text;
        EXPECT_EQ(b.cut, r.cut) << r.text;
    }
}

} // namespace
