#include "shell/startup.h"

#include <X11/Shell.h>
#include <X11/StringDefs.h>

#include <csignal>

#include "hosts/pool.h"
#include "hosts/rows.h"
#include "hosts/view.h"
#include "selection/actions.h"
#include "selection/adding.h"
#include "selection/moves.h"
#include "selection/remembering.h"
#include "selection/session.h"
#include "shell/fallback.h"
#include "shell/heading.h"
#include "shell/loop.h"
#include "shell/place.h"
#include "shell/options.h"
#include "shell/settings.h"
#include "shell/type.h"
#include "shell/usage.h"
#include "shell/variants.h"
#include "shell/drawing.h"
#include "shell/window.h"

XtActionsRec actionTable[] = {
    {const_cast<char *>("Accept"), Accept},
    {const_cast<char *>("Cancel"), Cancel},
    {const_cast<char *>("Leave"), Leave},
    {const_cast<char *>("CheckWilling"), CheckWilling},
    {const_cast<char *>("Ping"), Ping},
    {const_cast<char *>("AcceptClick"), AcceptClick},
    {const_cast<char *>("SelectNext"), SelectNext},
    {const_cast<char *>("SelectPrevious"), SelectPrevious},
    {const_cast<char *>("SelectFirst"), SelectFirst},
    {const_cast<char *>("SelectLast"), SelectLast},
    {const_cast<char *>("SelectNextPage"), SelectNextPage},
    {const_cast<char *>("SelectPreviousPage"), SelectPreviousPage},
    {const_cast<char *>("SelectTyped"), SelectTyped},
    {const_cast<char *>("AddHost"), AddHost},
    {const_cast<char *>("FocusEntry"), FocusEntry},
    {const_cast<char *>("FocusList"), FocusList},
};
const Cardinal actionCount = XtNumber(actionTable);

namespace {

void AnswersReady(XtPointer, int *, XtInputId *) noexcept {
    DeliverJobs();
}

void NameWaitsReady(XtPointer, int *, XtInputId *) noexcept {
    NameWaitsDue();
}

void ShowListed(bool lastName) {
    RefreshSoon(lastName ? Pace::kSettled : Pace::kIdle);
}

// The headless units reach the event loop through descriptors of their
// own, and tell of what they listed through one hook.
void WatchHeadless() {
    if (PoolDescriptor() >= 0)
        WatchReadable(PoolDescriptor(), AnswersReady);
    if (NameWaitDescriptor() >= 0)
        WatchReadable(NameWaitDescriptor(), NameWaitsReady);
    SetListedHook(ShowListed);
}

} // namespace

bool OpenWindow(int *argc, char **argv) {
    // A reader of the printed choice that has gone away is a failure to
    // report, not a death by signal.
    std::signal(SIGPIPE, SIG_IGN);
    StartType();
    // Before the toolkit starts: names, statuses and labels are then read
    // in the locale's own encoding.
    XtSetLanguageProc(nullptr, nullptr, nullptr);
    topLevel = XtOpenApplication(
        &appContext, "Hostpick", settingsOptions, settingsOptionCount, argc,
        argv, fallbackResources, applicationShellWidgetClass, nullptr, 0);
    if (UnknownOption(argv + 1) != nullptr)
        return false;
    XtAddConverter(XtRString, "ARRAY8", StringToArray8, nullptr, 0);
    LoadVariants(topLevel);
    LoadSettings(topLevel);
    XtAppAddActions(appContext, actionTable, actionCount);
    LoadAdding(topLevel);
    LoadSession(topLevel);
    LoadRemembering(topLevel);
    CreateWidgets(topLevel, allowAdd, StationMode());
    SetUpLooks();
    HandLines(nullptr, 0);
    ShowSessionHeading();
    LoadHeading(topLevel);
    HandleFocus(topLevel);
    WatchPresses(XtDisplay(topLevel));
    WatchHeadless();

    // Realised unmapped, so that the window has its size and can be placed
    // before it is first shown.
    XtSetMappedWhenManaged(topLevel, False);
    XtRealizeWidget(topLevel);
    HandleWindowProtocols(topLevel);
    if (StationMode())
        CoverMonitor(topLevel);
    else
        PlaceWindow(topLevel);
    SetHeading(HeadingText()); // at the width it now has
    CentreInStation();
    XMapWindow(XtDisplay(topLevel), XtWindow(topLevel));
    // Shown before anything else happens, whatever comes next.
    XFlush(XtDisplay(topLevel));
    return true;
}
