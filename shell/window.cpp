#include "shell/window.h"

#include <X11/StringDefs.h>
#include <X11/Xaw/Box.h>
#include <X11/Xaw/Command.h>
#include <X11/Xaw/Label.h>
#include <X11/Xaw/List.h>
#include <X11/Xaw/Paned.h>
#include <X11/Xaw/Viewport.h>

Widget topLevel;
Widget list;

static Widget paned;
static Widget label;
static Widget viewport;
static Widget box;
static Widget cancel;
static Widget accept;
static Widget ping;

static Widget Make(const char *name, WidgetClass widgetClass, Widget parent) {
    return XtCreateManagedWidget(name, widgetClass, parent, nullptr, 0);
}

void CreateWidgets(Widget shell) {
    paned = Make("paned", panedWidgetClass, shell);
    label = Make("label", labelWidgetClass, paned);
    viewport = Make("viewport", viewportWidgetClass, paned);
    list = Make("list", listWidgetClass, viewport);
    box = Make("box", boxWidgetClass, paned);
    cancel = Make("cancel", commandWidgetClass, box);
    accept = Make("accept", commandWidgetClass, box);
    ping = Make("ping", commandWidgetClass, box);
}

void WindowPosition(int screenWidth, int screenHeight, Dimension width,
                    Dimension height, Position *x, Position *y) {
    auto s16 = [](int v) { return static_cast<short>(v); };
    *x = s16(s16(s16(screenWidth) - s16(width)) / 2);
    *y = s16(s16(s16(screenHeight) - s16(height)) / 3);
}

void PlaceWindow(Widget shell) {
    Dimension width = 0;
    Dimension height = 0;
    Arg args[2];
    XtSetArg(args[0], XtNwidth, &width);
    XtSetArg(args[1], XtNheight, &height);
    XtGetValues(shell, args, 2);

    Screen *screen = XtScreen(shell);
    Position x;
    Position y;
    WindowPosition(WidthOfScreen(screen), HeightOfScreen(screen), width, height,
                   &x, &y);
    XtSetArg(args[0], XtNx, x);
    XtSetArg(args[1], XtNy, y);
    XtSetValues(shell, args, 2);
}
