#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <clocale>
#include <cstring>
#include <vector>

#include "shell/type.h"

namespace {

class Type : public ::testing::Test {
  protected:
    void SetUp() override {
        std::setlocale(LC_CTYPE, "C.UTF-8");
        // One connection for all, which the faces are kept for.
        static Display *shared = XOpenDisplay(nullptr);
        display = shared;
        ASSERT_NE(display, nullptr) << "no X server";
        face = OpenFace(display, "DejaVu Sans-11", 96);
        ASSERT_NE(face, nullptr);
    }
    void TearDown() override {
        std::setlocale(LC_CTYPE, "C");
    }
    int Width(const char *text) {
        return TextWidth(face, text, static_cast<int>(std::strlen(text)));
    }
    Display *display = nullptr;
    Face *face = nullptr;
};

// Characters the face lacks come from a face that has them, at their own
// width: full width where the script is.
TEST_F(Type, MissingCharactersAreDrawnFullWidthWhereTheScriptIs) {
    const struct {
        const char *wide, *narrow;
        double least;
    } rows[] = {
        // katakana against its half-width forms
        {"\xe3\x82\xad\xe3\x83\xa3\xe3\x83\xb3\xe3\x82\xbb\xe3\x83\xab",
         "\xef\xbd\xb7\xef\xbd\xac\xef\xbe\x9d\xef\xbd\xbe\xef\xbe\x99", 1.8},
        // fullwidth Latin against ASCII
        {"\xef\xbd\x86\xef\xbd\x95\xef\xbd\x8c\xef\xbd\x8c", "full", 2.0},
        // two ideographs against two digits
        {"\xe6\x9d\xb1\xe4\xba\xac", "00", 1.5},
    };
    for (const auto &row : rows)
        EXPECT_GE(Width(row.wide), row.least * Width(row.narrow)) << row.wide;
}

TEST_F(Type, SizesInPointsFollowTheDensity) {
    Face *dense = OpenFace(display, "DejaVu Sans-11", 192);
    ASSERT_NE(dense, nullptr);
    EXPECT_EQ(OpenFace(display, "DejaVu Sans-11", 96), face) << "kept";
    const char *text = "Choose the host";
    double ratio =
        static_cast<double>(TextWidth(dense, text, 15)) / Width(text);
    EXPECT_NEAR(ratio, 2.0, 0.1);
    EXPECT_NEAR(static_cast<double>(FaceHeight(dense)) / FaceHeight(face), 2.0,
                0.1);
    EXPECT_EQ(OpenFace(display, "", 96), nullptr);
}

// A text of several scripts is drawn within the width it was measured at,
// and to its end.
TEST_F(Type, TextIsDrawnAsWideAsItWasMeasured) {
    const char *text = "atlas \xe6\x9d\xb1\xe4\xba\xac \xef\xbd\x86\xef\xbd"
                       "\x95 e\xcc\x81t\xc3\xa9 \xd0\x96\xce\xa9";
    int width = Width(text);
    int height = FaceHeight(face);
    int screen = DefaultScreen(display);
    Pixmap pixmap =
        XCreatePixmap(display, RootWindow(display, screen), width + 40, height,
                      DefaultDepth(display, screen));
    XftDraw *draw =
        XftDrawCreate(display, pixmap, DefaultVisual(display, screen),
                      DefaultColormap(display, screen));
    XftColor white{}, black{};
    white.color = {0xffff, 0xffff, 0xffff, 0xffff};
    black.color = {0, 0, 0, 0xffff};
    XftDrawRect(draw, &white, 0, 0, width + 40, height);
    DrawText(face, draw, &black, 0, FaceAscent(face), text,
             static_cast<int>(std::strlen(text)));
    XImage *image = XGetImage(display, pixmap, 0, 0, width + 40, height,
                              AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    int right = -1;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width + 40; x++)
            if ((XGetPixel(image, x, y) & 0xffffff) != 0xffffff)
                right = std::max(right, x);
    EXPECT_LE(right, width);
    EXPECT_GE(right, width - Width("\xce\xa9"));
    XDestroyImage(image);
    XftDrawDestroy(draw);
    XFreePixmap(display, pixmap);
}

} // namespace
