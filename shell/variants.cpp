#include "shell/variants.h"

#include <X11/StringDefs.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "shell/fallback.h"
#include "shell/place.h"
#include "shell/warn.h"

int scale = 1;
double density = 96;
bool contrast;

int ChooseScale(const char *setting, double xftDpi, double screenDpi,
                double monitorDpi) {
    if (std::strcmp(setting, "1") == 0)
        return 1;
    if (std::strcmp(setting, "2") == 0)
        return 2;
    if (std::strcmp(setting, "auto") != 0)
        return 0;
    double dpi = xftDpi > 0 ? xftDpi : std::max(screenDpi, monitorDpi);
    return dpi >= kScale2Dpi ? 2 : 1;
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

std::string ListFontSet(Display *display, XrmDatabase database) {
    String name, className;
    XtGetApplicationNameAndClass(display, &name, &className);
    std::string full = std::string(name) + ".paned.viewport.list.fontSet";
    std::string fullClass =
        std::string(className) + ".Paned.Viewport.List.FontSet";
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
    now.append(ListFontSet(display, database)).append(",");
    std::string wanted = ListFontSet(display, variant);
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
        Warn("scale \"%s\" is none of auto, 1 and 2: taken as auto",
             choice.scale);
        scale = ChooseScale("auto", xftDpi, screenDpi, monitorDpi);
    }
    contrast = choice.contrast != False;

    std::vector<XrmDatabase> variants;
    if (scale == 2) {
        XrmDatabase doubled = ReadFile(display, "Hostpick-2x", scale2Resources);
        std::string missing = LargerFontsMissing(display, database, doubled);
        if (missing.empty()) {
            variants.push_back(doubled);
        } else {
            Warn("scale 1, for this X server has none of the fonts of "
                 "scale 2: %s",
                 missing.c_str());
            XrmDestroyDatabase(doubled);
            scale = 1;
        }
    }
    if (contrast)
        variants.push_back(
            ReadFile(display, "Hostpick-contrast", contrastResources));
    if (variants.empty())
        return;
    XrmDatabase defaults = ReadFile(display, nullptr, fallbackResources);
    LayVariants(&database, defaults, variants);
    XrmDestroyDatabase(defaults);
    for (XrmDatabase variant : variants)
        XrmDestroyDatabase(variant);
}
