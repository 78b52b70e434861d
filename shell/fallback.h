// The resource file compiled in, as the toolkit's fallback resources: the
// toolkit uses them only when it finds no resource file for the class
// "Hostpick", so that a build tree or a broken installation still has a
// usable window.  Generated at build time from app-defaults/Hostpick.
#pragma once

#include <X11/Intrinsic.h>

/// One resource line per entry, ending with a null entry.
extern String fallbackResources[];
