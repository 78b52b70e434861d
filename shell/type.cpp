#include "shell/type.h"

#include <X11/extensions/Xrender.h>
#include <fontconfig/fontconfig.h>

#include <cwchar>
#include <map>
#include <new>
#include <string>
#include <exception>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace {

// Where a character is drawn from: the index of its font in the face's
// fonts (the first font, then fontconfig's order), and its advance.
struct Drawn {
    short font;
    short advance;
};

} // namespace

struct Face {
    Display *display;
    FcPattern *pattern;           // asked, with the density and the defaults
    FcFontSet *order = nullptr;   // fontconfig's order, made when first needed
    std::vector<XftFont *> fonts; // [0] the best match; [1 + i] order's i
    std::vector<bool> tried;      // of fonts, whether an open was tried
    Drawn ascii[128]{};           // advance 0: not looked up yet
    std::unordered_map<FcChar32, Drawn> others;
};

namespace {

constexpr FcChar32 kReplacement = 0xfffd;

// The face's font `index`, opened the first time it is asked for; null
// where it cannot be opened.
XftFont *FontAt(Face *face, std::size_t index) {
    if (face->tried[index])
        return face->fonts[index];
    face->tried[index] = true;
    FcPattern *prepared = FcFontRenderPrepare(nullptr, face->pattern,
                                              face->order->fonts[index - 1]);
    face->fonts[index] = prepared != nullptr
                             ? XftFontOpenPattern(face->display, prepared)
                             : nullptr;
    if (face->fonts[index] == nullptr && prepared != nullptr)
        FcPatternDestroy(prepared);
    return face->fonts[index];
}

// The first font that has `c`: the best match, else the first in
// fontconfig's order whose character set holds it, else the best match
// (which draws its box for a missing glyph).
short FontFor(Face *face, FcChar32 c) {
    if (XftCharExists(face->display, face->fonts[0], c))
        return 0;
    if (face->order == nullptr) {
        FcResult result;
        face->order =
            FcFontSort(nullptr, face->pattern, FcTrue, nullptr, &result);
        if (face->order == nullptr)
            return 0;
        face->fonts.resize(1 + face->order->nfont, nullptr);
        face->tried.resize(1 + face->order->nfont, false);
    }
    for (int i = 0; i < face->order->nfont; i++) {
        FcCharSet *set = nullptr;
        if (FcPatternGetCharSet(face->order->fonts[i], FC_CHARSET, 0, &set) !=
                FcResultMatch ||
            !FcCharSetHasChar(set, c))
            continue;
        XftFont *font = FontAt(face, 1 + i);
        if (font != nullptr && XftCharExists(face->display, font, c))
            return static_cast<short>(1 + i);
    }
    return 0;
}

Drawn DrawnOf(Face *face, FcChar32 c) {
    Drawn *known = nullptr;
    if (c < 128) {
        known = &face->ascii[c];
    } else {
        auto at = face->others.find(c);
        if (at != face->others.end())
            return at->second;
    }
    if (known != nullptr && known->advance != 0)
        return *known;
    Drawn glyph{FontFor(face, c), 0};
    XGlyphInfo extents;
    XftTextExtents32(face->display, face->fonts[glyph.font], &c, 1, &extents);
    glyph.advance = extents.xOff;
    if (known != nullptr)
        *known = glyph;
    else
        face->others.emplace(c, glyph); // may throw; the callers catch
    return glyph;
}

// The next character of `text`, decoded in the locale's encoding; a byte
// that starts no character stands for itself.
FcChar32 NextChar(const char *text, int length, int *at,
                  std::mbstate_t *state) {
    wchar_t c = 0;
    std::size_t used = std::mbrtowc(&c, text + *at, length - *at, state);
    if (used == 0 || used > static_cast<std::size_t>(length - *at)) {
        *state = {};
        c = static_cast<unsigned char>(text[*at]);
        used = 1;
    }
    *at += static_cast<int>(used);
    return c < 0x20 ? kReplacement : static_cast<FcChar32>(c);
}

} // namespace

namespace {

// Never destroyed, so that a program that ends before its first face
// does not end for a thread still joinable.
std::thread *starting;

} // namespace

// fontconfig's start reads some sixty files and takes about as long as
// the toolkit's own; the two overlap.
void StartType() {
    try {
        starting = new std::thread([] { FcInit(); });
    } catch (const std::exception &) {
        // Started by the first face instead.
    }
}

bool DrawsType(Display *display) {
    int event = 0;
    int error = 0;
    return XRenderQueryExtension(display, &event, &error) != False;
}

Face *OpenFace(Display *display, const char *name, double dpi) {
    // Kept to the end, never destroyed: the faces live as long.
    static auto *opened =
        new std::map<std::tuple<Display *, std::string, double>, Face *>;
    if (name == nullptr || *name == '\0' || !DrawsType(display))
        return nullptr;
    if (starting != nullptr && starting->joinable())
        starting->join();
    try {
        auto key = std::make_tuple(display, std::string(name), dpi);
        auto at = opened->find(key);
        if (at != opened->end())
            return at->second;
        // A face that cannot be had is not asked for again.
        Face *&slot = (*opened)[key];
        FcPattern *pattern =
            FcNameParse(reinterpret_cast<const FcChar8 *>(name));
        if (pattern == nullptr)
            return nullptr;
        // The program's density, not the one Xft would take from the
        // screen's size in millimetres.
        FcPatternDel(pattern, FC_DPI);
        FcPatternAddDouble(pattern, FC_DPI, dpi);
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        XftDefaultSubstitute(display, DefaultScreen(display), pattern);
        FcResult result;
        FcPattern *match = FcFontMatch(nullptr, pattern, &result);
        FcPattern *prepared = match != nullptr
                                  ? FcFontRenderPrepare(nullptr, pattern, match)
                                  : nullptr;
        if (match != nullptr)
            FcPatternDestroy(match);
        XftFont *font = prepared != nullptr
                            ? XftFontOpenPattern(display, prepared)
                            : nullptr;
        if (font == nullptr) {
            if (prepared != nullptr)
                FcPatternDestroy(prepared);
            FcPatternDestroy(pattern);
            return nullptr;
        }
        auto *face = new Face;
        face->display = display;
        face->pattern = pattern;
        face->fonts.assign(1, font);
        face->tried.assign(1, true);
        slot = face;
        return face;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

int FaceAscent(const Face *face) {
    return face->fonts[0]->ascent;
}

int FaceHeight(const Face *face) {
    return face->fonts[0]->ascent + face->fonts[0]->descent;
}

int TextWidth(Face *face, const char *text, int length) {
    int width = 0;
    if (face == nullptr)
        return 0;
    std::mbstate_t state{};
    try {
        for (int at = 0; at < length;)
            width += DrawnOf(face, NextChar(text, length, &at, &state)).advance;
    } catch (const std::bad_alloc &) {
    }
    return width;
}

// A run of characters from one font at a time, so that Xft draws each
// from a font that has it.
void DrawText(Face *face, XftDraw *draw, const XftColor *color, int x, int y,
              const char *text, int length) {
    constexpr int kRun = 256;
    FcChar32 run[kRun];
    int count = 0;
    short font = 0;
    int runWidth = 0;
    std::mbstate_t state{};
    if (face == nullptr)
        return;
    auto flush = [&] {
        if (count > 0)
            XftDrawString32(draw, color, face->fonts[font], x, y, run, count);
        x += runWidth;
        count = 0;
        runWidth = 0;
    };
    try {
        for (int at = 0; at < length;) {
            FcChar32 c = NextChar(text, length, &at, &state);
            Drawn glyph = DrawnOf(face, c);
            if (count == kRun || (count > 0 && glyph.font != font))
                flush();
            font = glyph.font;
            run[count++] = c;
            runWidth += glyph.advance;
        }
    } catch (const std::bad_alloc &) {
    }
    flush();
}
