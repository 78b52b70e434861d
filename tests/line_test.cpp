#include <gtest/gtest.h>

#include "hosts/line.h"

#include <clocale>
#include <cstdlib>
#include <string>

#include "tests/table_fixture.h"

namespace {

std::string Pad(const std::string &name) {
    return name.size() >= 30 ? name : name + std::string(30 - name.size(), ' ');
}

struct LineCase {
    const char *locale;
    std::string name;
    const char *address;
    std::string status;
    std::string line;
};

std::string Format(const LineCase &c, int *nameLength,
                   int *labelLength = nullptr) {
    int label;
    std::string before = setlocale(LC_CTYPE, nullptr);
    EXPECT_NE(setlocale(LC_CTYPE, c.locale), nullptr);
    ARRAY8 name = MakeArray8(c.name);
    ARRAY8 status = MakeArray8(c.status);
    char *line = FormatLine(&name, c.address, &status, nameLength,
                            labelLength != nullptr ? labelLength : &label);
    setlocale(LC_CTYPE, before.c_str());
    std::string text = line != nullptr ? line : "(null)";
    std::free(line);
    ReleaseArray8(&name);
    ReleaseArray8(&status);
    return text;
}

// Names are filled out by screen columns, not bytes, and text shows for
// what it is: a byte that starts no character, a control or a format
// character is a "?", and the status column lines up whatever the names
// hold.  No name here holds a blank, so the first blank ends it.
TEST(HostLine, NameFilledToThirtyColumnsThenOneBlankAndTheStatus) {
    const std::string zeta = "\xce\xb6\xce\xb5\xcf\x8d\xcf\x82"; // 4 columns
    const LineCase cases[] = {
        {"C", "alpha", nullptr, "busy",
         "alpha" + std::string(25, ' ') + " busy"},
        {"C", "", nullptr, "busy", std::string(30, ' ') + " busy"},
        {"C", std::string(30, 'n'), nullptr, "s", std::string(30, 'n') + " s"},
        {"C", std::string(45, 'm'), nullptr, "t", std::string(45, 'm') + " t"},
        {"C", std::string("ab\0cd", 5), nullptr, std::string("ab\0cd", 5),
         Pad("ab") + "    ab"},
        {"C.UTF-8", zeta, nullptr, "up", zeta + std::string(26, ' ') + " up"},
        {"C.UTF-8", "evil\xe2\x80\xaelab", nullptr, "up",
         Pad("evil?lab") + " up"},
        {"C.UTF-8", "bad\xff\x01\xc3", nullptr, "up", Pad("bad???") + " up"},
        {"C.UTF-8", "a\xe0\xa2\x90z\xe0\xa2\x91", nullptr, "up", // U+0890-1
         Pad("a?z?") + " up"},
        {"C", "wide", nullptr, std::string(600, 's'),
         Pad("wide") + " " + std::string(kMostStatusBytes, 's') + "..."},
        {"C", "lab1", "10.0.0.1", "idle", Pad("lab1 [10.0.0.1]") + " idle"},
        {"C", "", "fe80::1%lo", "c", Pad(" [fe80::1%lo]") + " c"},
    };
    for (const LineCase &c : cases) {
        int nameLength = -1;
        int labelLength = -1;
        EXPECT_EQ(Format(c, &nameLength, &labelLength), c.line) << c.line;
        EXPECT_EQ(nameLength, static_cast<int>(c.line.find(' ')))
            << "the name's bytes in " << c.line;
        EXPECT_EQ(labelLength, c.address != nullptr
                                   ? static_cast<int>(c.line.find(']')) + 1
                                   : nameLength)
            << "the name's and address's bytes in " << c.line;
    }
}

TEST(HostLine, NoLineIsWiderThanTheLimit) {
    int nameLength;
    std::string line = Format(
        {"C", std::string(600, 'n'), "10.0.0.1", std::string(600, 's'), ""},
        &nameLength);
    EXPECT_LE(line.size(), static_cast<std::size_t>(kMostLineColumns));
    EXPECT_EQ(line.substr(line.size() - 3), "...");
}

} // namespace
