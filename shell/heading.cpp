#include "shell/heading.h"

#include <X11/StringDefs.h>

#include "shell/loop.h"
#include "shell/options.h"
#include "shell/window.h"

namespace {

struct HeadingTexts {
    String searching;
    String noAnswer;
    String noTarget;
    String noHost;
};

HeadingTexts texts;
String label; // the heading's own text, a copy of our own
bool searching;
bool canAsk = true;
bool named = true;
int lines;

XtResource resources[] = {
    FILE_RESOURCE(HeadingTexts, "searchingLabel", "SearchingLabel", XtRString,
                  searching),
    FILE_RESOURCE(HeadingTexts, "noAnswerLabel", "NoAnswerLabel", XtRString,
                  noAnswer),
    FILE_RESOURCE(HeadingTexts, "noTargetLabel", "NoTargetLabel", XtRString,
                  noTarget),
    FILE_RESOURCE(HeadingTexts, "noHostLabel", "NoHostLabel", XtRString,
                  noHost),
};

constexpr unsigned long kToldMs = 5000;

String told; // a copy of our own, or null
XtIntervalId toldTimer;

void Show() {
    String text = !named      ? texts.noHost
                  : !canAsk   ? texts.noTarget
                  : searching ? texts.searching
                              : texts.noAnswer;
    if (lines > 0 || text == nullptr)
        text = label;
    SetHeading(told != nullptr ? told : text);
}

void ToldLongEnough(XtPointer, XtIntervalId *) noexcept {
    toldTimer = 0;
    HeadingStopsTelling();
}

// Before every action of the person's, a failure told has been read.
void Acted(Widget, XtPointer, String, XEvent *, String *, Cardinal *) noexcept {
    if (told != nullptr && toldTimer == 0)
        HeadingStopsTelling();
}

} // namespace

void LoadHeading(Widget shell) {
    XtGetApplicationResources(shell, &texts, resources, XtNumber(resources),
                              nullptr, 0);
    // The widget may release its own copy when it is given another text.
    label = XtNewString(HeadingText());
    XtAppAddActionHook(XtWidgetToApplicationContext(shell), Acted, nullptr);
}

void SeriesStarted() {
    searching = true;
    Show();
}

void (*afterSeries)();

void SeriesEnded() {
    searching = false;
    Show();
    if (afterSeries != nullptr)
        afterSeries();
}

void HeadingSeesLines(int n) {
    int before = lines;
    lines = n;
    if ((n > 0) != (before > 0))
        Show();
}

void HeadingCanAsk(bool given, bool can) {
    if (given != named || can != canAsk) {
        named = given;
        canAsk = can;
        Show();
    }
}

void HeadingTells(const char *text, Lasting lasting) {
    if (toldTimer != 0)
        XtRemoveTimeOut(toldTimer);
    toldTimer = 0;
    XtFree(told);
    told = XtNewString(text);
    if (lasting == Lasting::kAWhile)
        toldTimer = StartTimer(kToldMs, ToldLongEnough);
    Show();
}

void HeadingStopsTelling() {
    if (toldTimer != 0)
        XtRemoveTimeOut(toldTimer);
    toldTimer = 0;
    XtFree(told);
    told = nullptr;
    Show();
}
