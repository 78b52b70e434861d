// The resource files compiled in, generated at build time from
// app-defaults/.  The toolkit uses the first as its fallback resources,
// only when it finds no resource file for the class "Hostpick", so that a
// build tree or a broken installation still has a usable window; the
// contrast variant stands in for its file in the same way.
#pragma once

#include <X11/Intrinsic.h>

/// One resource line per entry, ending with a null entry: "Hostpick" and
/// "Hostpick-contrast".
extern String fallbackResources[];
extern String contrastResources[];
