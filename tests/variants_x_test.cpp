#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "shell/variants.h"

namespace {

struct ScaleRow {
    const char *setting;
    double xftDpi, screenDpi, monitorDpi;
    double scale;
};

TEST(Scale, AutoFollowsXftDpiElseTheDensestOfScreenAndMonitor) {
    const ScaleRow rows[] = {
        {"auto", 0, 96, 96, 1},     {"auto", 0, 192, 96, 2},
        {"auto", 0, 96, 163, 1.75}, {"auto", 0, 120, 0, 1.25},
        {"auto", 0, 144, 0, 1.5},   {"auto", 96, 192, 192, 1},
        {"auto", 192, 96, 96, 2},   {"auto", 0, 72, 75, 1},
        {"auto", 0, 0, 0, 1},       {"auto", 0, 600, 0, 4},
        {"1", 0, 192, 192, 1},      {"2", 0, 96, 96, 2},
        {"1.25", 0, 96, 96, 1.25},  {"4", 0, 96, 96, 4},
        {"4.5", 0, 96, 96, 0},      {"0.5", 0, 96, 96, 0},
        {"1.5x", 0, 96, 96, 0},     {"", 0, 96, 96, 0},
        {"Auto", 0, 192, 0, 0},
    };
    for (const ScaleRow &row : rows)
        EXPECT_EQ(
            ChooseScale(row.setting, row.xftDpi, row.screenDpi, row.monitorDpi),
            row.scale)
            << row.setting << " " << row.xftDpi << " " << row.screenDpi << " "
            << row.monitorDpi;
}

std::string Value(XrmDatabase database, const char *name) {
    char *type = nullptr;
    XrmValue value{};
    std::string full = std::string("hostpick.") + name;
    std::string fullClass = "Hostpick." + std::string(name);
    fullClass[9] = static_cast<char>(std::toupper(fullClass[9]));
    return XrmGetResource(database, full.c_str(), fullClass.c_str(), &type,
                          &value)
               ? value.addr
               : "";
}

TEST(Scale, SizesAreWholePixelsAndNoneVanishes) {
    const struct {
        int base;
        double scale;
        int scaled;
    } rows[] = {{1, 1.25, 1},   {1, 1.5, 2}, {2, 1.25, 3}, {560, 1.25, 700},
                {14, 1.75, 25}, {7, 2, 14},  {0, 2, 0},    {1, 4, 4}};
    for (const auto &row : rows)
        EXPECT_EQ(Scaled(row.base, row.scale), row.scaled)
            << row.base << " at " << row.scale;
}

// The file's values give way to the variants, in order; what the user set
// apart from the file stays.
TEST(Scale, VariantsReplaceTheFilesValuesButNotTheUsers) {
    XrmInitialize();
    XrmDatabase file = XrmGetStringDatabase("*width: 560\n*title: Pick\n"
                                            "*border: 1\n");
    XrmDatabase database = XrmGetStringDatabase(
        "*width: 560\n*title: Mine\n*border: 1\n*extra: user\n");
    XrmDatabase doubled =
        XrmGetStringDatabase("*width: 1120\n*title: Big\n*border: 2\n"
                             "*extra: big\n*fresh: new\n");
    XrmDatabase contrast = XrmGetStringDatabase("*border: 3\n");
    LayVariants(&database, file, {doubled, contrast});
    EXPECT_EQ(Value(database, "width"), "1120");
    EXPECT_EQ(Value(database, "title"), "Mine");
    EXPECT_EQ(Value(database, "border"), "3") << "the later variant wins";
    EXPECT_EQ(Value(database, "extra"), "user");
    EXPECT_EQ(Value(database, "fresh"), "new");
    for (XrmDatabase d : {file, database, doubled, contrast})
        XrmDestroyDatabase(d);
}

} // namespace
