#include "shell/window.h"

#include <X11/IntrinsicP.h>
#include <X11/Shell.h>
#include <X11/StringDefs.h>
#include <X11/Xaw/AsciiText.h>
#include <X11/Xaw/Box.h>
#include <X11/Xaw/Command.h>
#include <X11/Xaw/Label.h>
#include <X11/Xaw/List.h>
#include <X11/Xaw/Paned.h>
#include <X11/Xaw/Viewport.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>

#include <cstring>
#include <string>

Widget topLevel;
Widget list;
Widget entryWidget;

namespace {

constexpr int kBaseVolume = 0; ///< XBell's percent: the display's own

Widget paned;
Widget label;
Widget viewport;
Widget box;
Widget cancelButton;
Widget acceptButton;
Widget pingButton;

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

// The character sets for which the font set of `widget` has no font.
std::string MissingCharsets(Widget widget) {
    XFontSet fontSet = nullptr;
    Arg arg;
    XtSetArg(arg, XtNfontSet, &fontSet);
    XtGetValues(widget, &arg, 1);
    std::string names;
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

} // namespace

void CreateWidgets(Widget shell, bool withEntry) {
    XtAppContext app = XtWidgetToApplicationContext(shell);
    passWarning = XtAppSetWarningMsgHandler(app, NoteMissingCharsets);
    paned = Make("paned", panedWidgetClass, shell);
    label = Make("label", labelWidgetClass, paned);
    viewport = Make("viewport", viewportWidgetClass, paned);
    list = Make("list", listWidgetClass, viewport);
    if (withEntry) {
        Widget add = Make("add", boxWidgetClass, paned);
        Make("addLabel", labelWidgetClass, add);
        entryWidget = Make("entry", asciiTextWidgetClass, add);
    }
    box = Make("box", boxWidgetClass, paned);
    cancelButton = Make("cancel", commandWidgetClass, box);
    acceptButton = Make("accept", commandWidgetClass, box);
    pingButton = Make("ping", commandWidgetClass, box);
    XtAppSetWarningMsgHandler(app, passWarning);
    if (charsetsMissing)
        XtAppWarning(app,
                     ("No font on this X server for " + MissingCharsets(list) +
                      ": their characters are not drawn")
                         .c_str());
}

void RingBell() {
    XBell(XtDisplay(topLevel), kBaseVolume);
}

String HeadingText() {
    String text = nullptr;
    Arg arg;
    XtSetArg(arg, XtNlabel, &text);
    XtGetValues(label, &arg, 1);
    return text;
}

void SetHeading(String text) {
    Arg arg;
    XtSetArg(arg, XtNlabel, text);
    XtSetValues(label, &arg, 1);
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

void KeysToEntry(bool toEntry) {
    XtSetKeyboardFocus(topLevel,
                       toEntry && entryWidget != nullptr ? entryWidget : paned);
}

void HandleWindowProtocols(Widget shell) {
    deleteWindow = XInternAtom(XtDisplay(shell), "WM_DELETE_WINDOW", False);
    XSetWMProtocols(XtDisplay(shell), XtWindow(shell), &deleteWindow, 1);
}
