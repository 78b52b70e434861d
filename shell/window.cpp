#include "shell/window.h"

#include <X11/IntrinsicP.h>
#include <X11/Shell.h>
#include <X11/StringDefs.h>
#include <X11/Xaw/AsciiText.h>
#include <X11/Xaw/Box.h>
#include <X11/Xaw/Command.h>
#include <X11/Xaw/Form.h>
#include <X11/Xaw/Label.h>
#include <X11/Xaw/List.h>
#include <X11/Xaw/Paned.h>
#include <X11/Xaw/Viewport.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>

#include <langinfo.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "shell/breaking.h"
#include "shell/smooth.h"
#include "shell/warn.h"
#include "shell/windows.h"

Widget topLevel;
Widget list;
Widget entryWidget;

namespace {

constexpr int kBaseVolume = 0; ///< XBell's percent: the display's own

Widget station; // the form around paned, in a station only
Widget paned;
Widget label;
Widget viewport;
Widget box;
Widget cancelButton;
Widget acceptButton;
Widget pingButton;

constexpr int kMostHeadingLines = 4;
std::string heading; // the heading's whole text, once one was given
bool headingGiven;
Dimension brokenWidth; // the label's width when the text was broken

Widget Make(const char *name, WidgetClass widgetClass, Widget parent) {
    return XtCreateManagedWidget(name, widgetClass, parent, nullptr, 0);
}

// The toolkit warns of missing character sets once for every font set it
// makes, without naming them; the warnings are taken here while the
// widgets are made, and said once, naming the sets.
XtErrorMsgHandler passWarning;
bool charsetsMissing;

void NoteMissingCharsets(String name, String type, String errorClass,
                         String text, String *params,
                         Cardinal *count) noexcept {
    if (std::strcmp(name, "missingCharsetList") == 0)
        charsetsMissing = true;
    else
        passWarning(name, type, errorClass, text, params, count);
}

// Whether the font set has a Unicode font: in a UTF-8 locale it draws
// every character, and a legacy character set that the locale also lists
// (MICROSOFT-CP1251 in ru_RU.UTF-8) is missed by nobody.
bool DrawsUnicode(XFontSet fontSet) {
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        return false;
    XFontStruct **fonts = nullptr;
    char **names = nullptr;
    int count = XFontsOfFontSet(fontSet, &fonts, &names);
    for (int i = 0; i < count; i++)
        if (strcasestr(names[i], "iso10646-1") != nullptr)
            return true;
    return false;
}

// The character sets for which the font set of `widget` has no font, and
// whose characters no other font of it draws.
std::string MissingCharsets(Widget widget) {
    XFontSet fontSet = nullptr;
    Arg arg;
    XtSetArg(arg, XtNfontSet, &fontSet);
    XtGetValues(widget, &arg, 1);
    std::string names;
    if (fontSet != nullptr && DrawsUnicode(fontSet))
        return names;
    char **missing = nullptr;
    int count = 0;
    char *drawn = nullptr;
    XFontSet again = fontSet != nullptr
                         ? XCreateFontSet(XtDisplay(widget),
                                          XBaseFontNameListOfFontSet(fontSet),
                                          &missing, &count, &drawn)
                         : nullptr;
    for (int i = 0; i < count; i++)
        names.append(i > 0 ? ", " : "").append(missing[i]);
    if (missing != nullptr)
        XFreeStringList(missing);
    if (again != nullptr)
        XFreeFontSet(XtDisplay(widget), again);
    return names;
}

// A heading whose width changed is broken again.
void Rebreak(Widget, XtPointer, XEvent *event, Boolean *) noexcept {
    if (event->type == ConfigureNotify &&
        event->xconfigure.width != brokenWidth && headingGiven) {
        try {
            std::string text = heading;
            SetHeading(text.data());
        } catch (const std::bad_alloc &) {
        }
    }
}

} // namespace

void CreateWidgets(Widget shell, bool withEntry, bool inStation) {
    XtAppContext app = XtWidgetToApplicationContext(shell);
    passWarning = XtAppSetWarningMsgHandler(app, NoteMissingCharsets);
    if (inStation) {
        // The form keeps the paned widget's size and its place, which
        // CentreInStation sets, when the form itself grows to the monitor.
        station = Make("station", formWidgetClass, shell);
        paned = XtVaCreateManagedWidget(
            "paned", panedWidgetClass, station, XtNleft, XawChainLeft, XtNright,
            XawChainLeft, XtNtop, XawChainTop, XtNbottom, XawChainTop, nullptr);
    } else {
        paned = Make("paned", panedWidgetClass, shell);
    }
    label = Make("label", smoothLabelWidgetClass, paned);
    XtAddEventHandler(label, StructureNotifyMask, False, Rebreak, nullptr);
    viewport = Make("viewport", viewportWidgetClass, paned);
    list = Make("list", smoothListWidgetClass, viewport);
    if (withEntry) {
        Widget add = Make("add", boxWidgetClass, paned);
        Make("addLabel", smoothLabelWidgetClass, add);
        entryWidget = Make("entry", asciiTextWidgetClass, add);
    }
    box = Make("box", boxWidgetClass, paned);
    if (!inStation)
        cancelButton = Make("cancel", smoothCommandWidgetClass, box);
    acceptButton = Make("accept", smoothCommandWidgetClass, box);
    pingButton = Make("ping", smoothCommandWidgetClass, box);
    XtAppSetWarningMsgHandler(app, passWarning);
    // Type draws every character; the entry's text alone may miss some.
    Widget core = FaceOf(list) != nullptr ? entryWidget : list;
    std::string missing =
        charsetsMissing && core != nullptr ? MissingCharsets(core) : "";
    if (!missing.empty())
        XtAppWarning(app, ("No font on this X server for " + missing +
                           ": their characters are not drawn")
                              .c_str());
}

void RingBell() {
    XBell(XtDisplay(topLevel), kBaseVolume);
}

String HeadingText() {
    if (headingGiven)
        return heading.data();
    String text = nullptr;
    Arg arg;
    XtSetArg(arg, XtNlabel, &text);
    XtGetValues(label, &arg, 1);
    return text;
}

// The text is broken to the label's width, and the label made as tall as
// its lines, the list giving up the height; a text cut short goes whole
// to standard error.
void SetHeading(String text) {
    try {
        heading = text != nullptr ? text : "";
        headingGiven = true;
        Dimension width = 0;
        Dimension insideWidth = 0;
        Dimension insideHeight = 0;
        XtVaGetValues(label, XtNwidth, &width, XtNinternalWidth, &insideWidth,
                      XtNinternalHeight, &insideHeight, nullptr);
        int lineHeight = LineHeightIn(label);
        if (lineHeight <= 0)
            return;
        auto measure = [](std::string_view piece) {
            return TextWidthIn(label, piece.data(),
                               static_cast<int>(piece.size()));
        };
        bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
        Broken broken =
            BreakLines(heading, width - 2 * insideWidth, kMostHeadingLines,
                       measure, utf8 ? "\u2026" : "...");
        if (broken.cut && XtIsRealized(label))
            Warn("%s", heading.c_str());
        std::string lines;
        for (const std::string &line : broken.lines)
            lines.append(lines.empty() ? "" : "\n").append(line);
        brokenWidth = width;
        XtVaSetValues(label, XtNlabel, lines.c_str(), nullptr);
        int count = std::max<int>(1, static_cast<int>(broken.lines.size()));
        int height = count * lineHeight + 2 * insideHeight;
        XawPanedSetMinMax(label, height, height);
    } catch (const std::bad_alloc &) {
        XtVaSetValues(label, XtNlabel, text, nullptr);
    }
}

namespace {

XErrorHandler passError;

// A window manager may unmap or reparent the window between its showing
// and the focus request: the focus is then merely not taken.
int IgnoreFocusError(Display *display, XErrorEvent *error) noexcept {
    if (error->request_code == X_SetInputFocus)
        return 0;
    return passError(display, error);
}

// The first showing only (the window is viewable when it becomes visible):
// later the person, or a window manager, decides.
void TakeFocusWhenShown(Widget shell, XtPointer, XEvent *event,
                        Boolean *) noexcept {
    if (event->type != VisibilityNotify)
        return;
    XSetInputFocus(XtDisplay(shell), XtWindow(shell), RevertToParent,
                   CurrentTime);
    XtRemoveEventHandler(shell, VisibilityChangeMask, False, TakeFocusWhenShown,
                         nullptr);
}

Atom deleteWindow;

void CloseWhenAsked(Widget shell, XtPointer, XEvent *event,
                    Boolean *) noexcept {
    if (event->type == ClientMessage &&
        static_cast<Atom>(event->xclient.data.l[0]) == deleteWindow)
        XtCallActionProc(shell, "Cancel", event, nullptr, 0);
}

} // namespace

void HandleFocus(Widget shell) {
    Arg arg;
    XtSetArg(arg, XtNinput, True);
    XtSetValues(shell, &arg, 1);
    XtSetKeyboardFocus(shell, paned);
    passError = XSetErrorHandler(IgnoreFocusError);
    XtAddEventHandler(shell, VisibilityChangeMask, False, TakeFocusWhenShown,
                      nullptr);
    XtAddEventHandler(shell, NoEventMask, True, CloseWhenAsked, nullptr);
}

void CentreInStation() {
    if (station == nullptr)
        return;
    Dimension width = 0;
    Dimension height = 0;
    Dimension panedWidth = 0;
    Dimension panedHeight = 0;
    XtVaGetValues(topLevel, XtNwidth, &width, XtNheight, &height, nullptr);
    XtVaGetValues(paned, XtNwidth, &panedWidth, XtNheight, &panedHeight,
                  nullptr);
    XtVaSetValues(
        paned, XtNhorizDistance,
        static_cast<XtArgVal>(std::max(0, (width - panedWidth) / 2)),
        XtNvertDistance,
        static_cast<XtArgVal>(std::max(0, (height - panedHeight) / 2)),
        nullptr);
}

void ShowWindowAgain() {
    XtAddEventHandler(topLevel, VisibilityChangeMask, False, TakeFocusWhenShown,
                      nullptr);
    XMapRaised(XtDisplay(topLevel), XtWindow(topLevel));
}

void KeysToEntry(bool toEntry) {
    XtSetKeyboardFocus(topLevel,
                       toEntry && entryWidget != nullptr ? entryWidget : paned);
}

void HandleWindowProtocols(Widget shell) {
    deleteWindow = XInternAtom(XtDisplay(shell), "WM_DELETE_WINDOW", False);
    XSetWMProtocols(XtDisplay(shell), XtWindow(shell), &deleteWindow, 1);
    // A title in any language: _NET_WM_NAME in UTF-8 beside WM_NAME.
    String title = nullptr;
    XtVaGetValues(shell, XtNtitle, &title, nullptr);
    if (title != nullptr)
        NameWindow(XtDisplay(shell), XtWindow(shell), title);
}
