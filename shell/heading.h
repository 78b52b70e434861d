// The heading above the list.  It shows the label the resource file gives
// it, except while no host is listed: then it says that a series of pings
// runs, or that the series ended with no host and how to ping again.  Both
// texts are application resources ("searchingLabel", "noAnswerLabel"); where
// one is absent, the heading keeps its label.
#pragma once

#include <X11/Intrinsic.h>

/// Reads the two texts for the application shell `shell` and remembers
/// the heading's own label.  Call once the widgets exist.
void LoadHeading(Widget shell);

/// A series of pings has started.
void SeriesStarted();
/// The series has ended: its last ping has gone out a ping interval ago.
/// Then `afterSeries`, where set, may tell a text of its own.
void SeriesEnded();
extern void (*afterSeries)();
/// The list now shows `lines` lines.
void HeadingSeesLines(int lines);
/// Whether any target was given, and whether any of them can be asked;
/// while none was or none can and no host is listed, the heading says so
/// ("noHostLabel", "noTargetLabel").
void HeadingCanAsk(bool given, bool canAsk);

/// How long a told text lasts: about 5 s, or, for a failure, until the
/// person acts (any action of a key or a click, Ping among them).  Either
/// lasts until another text is told.
enum class Lasting { kAWhile, kUntilActed };

/// Says `text`, as long as `lasting` says, then what the heading said
/// before.
void HeadingTells(const char *text, Lasting lasting = Lasting::kAWhile);
/// Ends the text told, at once.
void HeadingStopsTelling();
