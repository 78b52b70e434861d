#include "shell/variants.h"

#include <X11/StringDefs.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "shell/fallback.h"
#include "shell/place.h"
#include "shell/type.h"
#include "shell/warn.h"

double scale = 1;
double density = 96;
bool contrast;

double ChooseScale(const char *setting, double xftDpi, double screenDpi,
                   double monitorDpi) {
    if (std::strcmp(setting, "auto") == 0) {
        double dpi = xftDpi > 0 ? xftDpi : std::max(screenDpi, monitorDpi);
        double quarters = std::round(dpi / kBaseDpi * 4) / 4;
        return std::clamp(quarters, 1.0, kMostScale);
    }
    char *end = nullptr;
    double asked = std::strtod(setting, &end);
    return end != setting && *end == '\0' && asked >= 1 && asked <= kMostScale
               ? asked
               : 0;
}

int Scaled(int base, double scale) {
    return base > 0 ? std::max(1, static_cast<int>(std::lround(base * scale)))
                    : base;
}

namespace {

// A database's entries by their names and bindings, as a resource file
// writes them ("*list.fontSet").
using Entries = std::map<std::string, std::string>;

Bool AddEntry(XrmDatabase *, XrmBindingList bindings, XrmQuarkList quarks,
              XrmRepresentation *, XrmValue *value, XPointer closure) {
    std::string name;
    for (int i = 0; quarks[i] != NULLQUARK; i++) {
        if (bindings[i] == XrmBindLoosely)
            name += '*';
        else if (i > 0)
            name += '.';
        name += XrmQuarkToString(quarks[i]);
    }
    (*reinterpret_cast<Entries *>(closure))[name] =
        std::string(value->addr, strnlen(value->addr, value->size));
    return False;
}

Entries EntriesOf(XrmDatabase database) {
    Entries entries;
    XrmQuark none = NULLQUARK;
    if (database != nullptr)
        XrmEnumerateDatabase(database, &none, &none, XrmEnumAllLevels, AddEntry,
                             reinterpret_cast<XPointer>(&entries));
    return entries;
}

} // namespace

void LayVariants(XrmDatabase *database, XrmDatabase defaults,
                 const std::vector<XrmDatabase> &variants) {
    Entries now = EntriesOf(*database);
    Entries given = EntriesOf(defaults);
    for (XrmDatabase variant : variants)
        for (const auto &[name, value] : EntriesOf(variant)) {
            auto set = now.find(name);
            auto file = given.find(name);
            if (set == now.end() ||
                (file != given.end() && set->second == file->second))
                XrmPutStringResource(database, name.c_str(), value.c_str());
        }
}

namespace {

struct Choice {
    String scale;
    Boolean contrast;
};

#define offset(field) XtOffsetOf(Choice, field)
XtResource choiceResources[] = {
    {const_cast<char *>("scale"), const_cast<char *>("Scale"),
     const_cast<char *>(XtRString), sizeof(String), offset(scale),
     const_cast<char *>(XtRString), const_cast<char *>("auto")},
    {const_cast<char *>("contrast"), const_cast<char *>("Contrast"),
     const_cast<char *>(XtRBoolean), sizeof(Boolean), offset(contrast),
     const_cast<char *>(XtRImmediate), reinterpret_cast<XtPointer>(False)},
};
#undef offset

constexpr double kMmPerInch = 25.4;

double XftDpi(XrmDatabase database) {
    char *type = nullptr;
    XrmValue value{};
    return XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) &&
                   value.addr != nullptr
               ? std::atof(value.addr)
               : 0;
}

double ScreenDpi(Screen *screen) {
    return WidthMMOfScreen(screen) > 0
               ? WidthOfScreen(screen) * kMmPerInch / WidthMMOfScreen(screen)
               : 0;
}

// The primary monitor's, else the first's, where its size in millimetres
// is known; 0 where it is not.
double MonitorDpi(Display *display) {
    std::vector<Monitor> monitors = Monitors(display);
    const Monitor *chosen = monitors.empty() ? nullptr : &monitors.front();
    for (const Monitor &m : monitors)
        if (m.primary) {
            chosen = &m;
            break;
        }
    return chosen != nullptr && chosen->widthMm > 0
               ? chosen->area.width * kMmPerInch / chosen->widthMm
               : 0;
}

XrmDatabase FromLines(String *lines) {
    XrmDatabase database = nullptr;
    for (; *lines != nullptr; lines++)
        XrmPutLineResource(&database, *lines);
    return database;
}

// The resource file called `name` (the class's when null) where the
// toolkit looks for the class's, a language's directory first, else the
// one compiled in.
XrmDatabase ReadFile(Display *display, const char *name, String *compiled) {
    String path = XtResolvePathname(display, "app-defaults", name, nullptr,
                                    nullptr, nullptr, 0, nullptr);
    XrmDatabase database =
        path != nullptr ? XrmGetFileDatabase(path) : FromLines(compiled);
    XtFree(path);
    return database;
}

// The list's resource `name` (class `className`) in `database`.
std::string ListResource(Display *display, XrmDatabase database,
                         const char *name, const char *className) {
    String program, programClass;
    XtGetApplicationNameAndClass(display, &program, &programClass);
    std::string full =
        std::string(program).append(".paned.viewport.list.").append(name);
    std::string fullClass = std::string(programClass)
                                .append(".Paned.Viewport.List.")
                                .append(className);
    char *type = nullptr;
    XrmValue value{};
    return XrmGetResource(database, full.c_str(), fullClass.c_str(), &type,
                          &value) &&
                   value.addr != nullptr
               ? value.addr
               : "";
}

// The fonts that the list's font set of `variant` names and that of
// `database` does not, but for "fixed", which every server has; an empty
// text when the server holds one of them, else their names.
std::string LargerFontsMissing(Display *display, XrmDatabase database,
                               XrmDatabase variant) {
    // Appended, not "," + string: GCC 12 at -O2 takes that for an
    // overlapping copy (-Wrestrict), a false positive.
    std::string now = ",";
    now.append(ListResource(display, database, "fontSet", "FontSet"))
        .append(",");
    std::string wanted = ListResource(display, variant, "fontSet", "FontSet");
    std::string missing;
    for (std::size_t at = 0; at < wanted.size();) {
        std::size_t end = std::min(wanted.find(',', at), wanted.size());
        std::string font = wanted.substr(at, end - at);
        at = end + 1;
        font.erase(0, font.find_first_not_of(" \t"));
        font.erase(font.find_last_not_of(" \t") + 1);
        if (font.empty() || font == "fixed" ||
            now.find(std::string(",").append(font).append(",")) !=
                std::string::npos)
            continue;
        int count = 0;
        char **names = XListFonts(display, font.c_str(), 1, &count);
        if (names != nullptr)
            XFreeFontNames(names);
        if (count > 0)
            return "";
        missing.append(missing.empty() ? "" : ", ").append(font);
    }
    return missing;
}

} // namespace

namespace {

// Every dimension of the resources, with its value at scale 1 where the
// resource file gives none: the Athena widgets' own.
struct Size {
    const char *name;
    int base;
};
constexpr Size kSizes[] = {
    {"*borderWidth", 1},
    {"*label.internalWidth", 4},
    {"*label.internalHeight", 2},
    {"*viewport.width", 560},
    {"*viewport.preferredPaneSize", 280},
    {"*viewport.min", 100},
    {"*viewport*thickness", 14},
    {"*viewport*minimumThumb", 7},
    {"*list.internalWidth", 2},
    {"*list.internalHeight", 2},
    {"*list.rowSpacing", 2},
    {"*list.columnSpacing", 6},
    {"*paned.internalBorderWidth", 1},
    {"*box.hSpace", 4},
    {"*box.vSpace", 4},
    {"*add.hSpace", 4},
    {"*add.vSpace", 4},
    {"*entry.width", 420},
    {"*Command.internalWidth", 4},
    {"*Command.internalHeight", 2},
    {"*Command.highlightThickness", 2},
};

// The core fonts of scale 2: the misc-fixed fonts scaled by the X server to
// 30 pixels, else the largest that it holds as they are, else "fixed".
constexpr const char *kScale2FontSet =
    "-misc-fixed-medium-r-normal--30-*-*-*-c-180-*,"
    "-misc-fixed-medium-r-normal--20-*-*-*-c-100-*,"
    "-*-*-medium-r-normal--24-*-*-*-c-*-*-*,"
    "-*-*-medium-r-normal--16-*-*-*-c-*-*-*,fixed";
constexpr const char *kScale2HeadingFontSet =
    "-misc-fixed-bold-r-normal--30-*-*-*-c-180-*,"
    "-misc-fixed-bold-r-normal--18-*-*-*-c-90-*,"
    "-*-*-medium-r-normal--24-*-*-*-c-*-*-*,"
    "-*-*-medium-r-normal--16-*-*-*-c-*-*-*,fixed";
constexpr double kScale2From = 1.5; // the core fonts of scale 2 from here
constexpr const char *kUndrawnFontSet = "fixed";

// The dimensions at `scale`, each from its value in `under` (the contrast
// variant, where laid), else in the resource file, else kSizes'.
XrmDatabase ScaledSizes(double scale, XrmDatabase file, XrmDatabase under) {
    Entries given = EntriesOf(file);
    for (const auto &[name, value] : EntriesOf(under))
        given[name] = value;
    XrmDatabase scaled = nullptr;
    for (const Size &size : kSizes) {
        auto at = given.find(size.name);
        int base =
            at != given.end() ? std::atoi(at->second.c_str()) : size.base;
        XrmPutStringResource(&scaled, size.name,
                             std::to_string(Scaled(base, scale)).c_str());
    }
    return scaled;
}

} // namespace

void LoadVariants(Widget topLevel) {
    Choice choice{};
    XtGetApplicationResources(topLevel, &choice, choiceResources,
                              XtNumber(choiceResources), nullptr, 0);
    Display *display = XtDisplay(topLevel);
    XrmDatabase database = XtScreenDatabase(XtScreen(topLevel));
    double xftDpi = XftDpi(database);
    double screenDpi = ScreenDpi(XtScreen(topLevel));
    double monitorDpi = xftDpi > 0 ? 0 : MonitorDpi(display);
    density = xftDpi > 0 ? xftDpi : std::max(screenDpi, monitorDpi);
    scale = ChooseScale(choice.scale, xftDpi, screenDpi, monitorDpi);
    if (scale == 0) {
        Warn("scale \"%s\" is neither auto nor a number from 1 to %g: "
             "taken as auto",
             choice.scale, kMostScale);
        scale = ChooseScale("auto", xftDpi, screenDpi, monitorDpi);
    }
    contrast = choice.contrast != False;

    bool drawsType = DrawsType(display) &&
                     !ListResource(display, database, "face", "Face").empty();
    // Where the widgets draw type, only the entry draws a core font set.
    // The others hold one all the same, as Athena widgets do, but never
    // draw with it: "fixed", which every server has, and which costs a
    // fraction of a font set for every character set of a UTF-8 locale.
    XrmDatabase fonts = nullptr;
    if (drawsType) {
        std::string entry =
            scale >= kScale2From
                ? kScale2FontSet
                : ListResource(display, database, "fontSet", "FontSet");
        XrmPutStringResource(&fonts, "*fontSet", kUndrawnFontSet);
        XrmPutStringResource(&fonts, "*label.fontSet", kUndrawnFontSet);
        if (!entry.empty())
            XrmPutStringResource(&fonts, "*entry*fontSet", entry.c_str());
    } else if (scale >= kScale2From) {
        XrmPutStringResource(&fonts, "*fontSet", kScale2FontSet);
        XrmPutStringResource(&fonts, "*label.fontSet", kScale2HeadingFontSet);
        std::string missing = LargerFontsMissing(display, database, fonts);
        if (!missing.empty()) {
            Warn("scale 1, for this X server has none of the fonts of "
                 "scale 2: %s",
                 missing.c_str());
            XrmDestroyDatabase(fonts);
            fonts = nullptr;
            scale = 1;
        }
    }
    if (scale == 1 && !contrast && fonts == nullptr)
        return;
    XrmDatabase defaults = ReadFile(display, nullptr, fallbackResources);
    XrmDatabase contrasted =
        contrast ? ReadFile(display, "Hostpick-contrast", contrastResources)
                 : nullptr;
    std::vector<XrmDatabase> variants;
    if (contrasted != nullptr)
        variants.push_back(contrasted);
    if (scale != 1)
        variants.push_back(ScaledSizes(scale, defaults, contrasted));
    if (fonts != nullptr)
        variants.push_back(fonts);
    LayVariants(&database, defaults, variants);
    XrmDestroyDatabase(defaults);
    for (XrmDatabase variant : variants)
        XrmDestroyDatabase(variant);
}
