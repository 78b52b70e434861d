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
void SeriesEnded();
/// The list now shows `lines` lines.
void HeadingSeesLines(int lines);
/// Whether any of the targets can be asked; while none can and no host is
/// listed, the heading says so ("noTargetLabel").
void HeadingCanAsk(bool canAsk);

/// Says `text` for about 5 s, or until another text is told, then what the
/// heading said before.
void HeadingTells(const char *text);
/// Ends the text told, at once.
void HeadingStopsTelling();
