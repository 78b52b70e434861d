#include "selection/moves.h"

#include <strings.h>

#include <X11/Xaw/List.h>
#include <X11/Xutil.h>

#include "hosts/view.h"
#include "selection/actions.h"
#include "shell/drawing.h"
#include "shell/window.h"

namespace {

constexpr Time kTypingPauseMs = 1000;
constexpr int kMostTyped = 64;

char typed[kMostTyped + 1];
int typedLength;
Time lastTyped;

} // namespace

void SelectRow(int index) {
    int n = RowCount();
    if (n == 0)
        return;
    index = index < 0 ? 0 : index >= n ? n - 1 : index;
    XawListHighlight(list, index);
    ScrollToLine(index);
}

namespace {

// From the current line by `step`, or from beyond the end the step leaves,
// so that a first Down selects the first line and a first Up the last.
void Step(int step) {
    int current = SelectedRow();
    if (current < 0)
        current = step > 0 ? -1 : RowCount();
    SelectRow(current + step);
}

// Case is folded for letters: in a UTF-8 locale, ASCII letters alone.
bool BeginsWith(const char *line, const char *prefix, int length) {
    return strncasecmp(line, prefix, length) == 0;
}

} // namespace

void SelectNext(Widget, XEvent *, String *, Cardinal *) noexcept {
    Step(1);
}

void SelectPrevious(Widget, XEvent *, String *, Cardinal *) noexcept {
    Step(-1);
}

void SelectFirst(Widget, XEvent *, String *, Cardinal *) noexcept {
    SelectRow(0);
}

void SelectLast(Widget, XEvent *, String *, Cardinal *) noexcept {
    SelectRow(RowCount() - 1);
}

void SelectNextPage(Widget, XEvent *, String *, Cardinal *) noexcept {
    Step(LinesPerPage());
}

void SelectPreviousPage(Widget, XEvent *, String *, Cardinal *) noexcept {
    Step(-LinesPerPage());
}

void SelectTyped(Widget, XEvent *event, String *, Cardinal *) noexcept {
    if (event == nullptr || event->type != KeyPress)
        return;
    char text[8];
    KeySym keysym;
    int n = XLookupString(&event->xkey, text, sizeof(text), &keysym, nullptr);
    for (int i = 0; i < n; i++)
        if (static_cast<unsigned char>(text[i]) < ' ' || text[i] == '\x7f')
            return;
    if (n == 0)
        return;
    if (event->xkey.time - lastTyped > kTypingPauseMs)
        typedLength = 0;
    lastTyped = event->xkey.time;
    if (typedLength + n <= kMostTyped) {
        for (int i = 0; i < n; i++)
            typed[typedLength + i] = text[i];
        for (int i = 0; i < RowCount(); i++) {
            if (BeginsWith(RowLine(i), typed, typedLength + n)) {
                typedLength += n;
                SelectRow(i);
                return;
            }
        }
    }
    RingBell();
}

void AcceptClick(Widget w, XEvent *event, String *params,
                 Cardinal *paramCount) noexcept {
    HostEntry *selected = SelectedHost();
    if (selected != nullptr && selected == HostAtPress())
        Accept(w, event, params, paramCount);
}
