// The main window: its widget tree and its place on the screen.  All
// fonts, labels, sizes and translations come from the resource database
// of class "Hostpick"; the program itself supplies none.
#pragma once

#include <X11/Intrinsic.h>

/// The application shell; its display rings the bell.
extern Widget topLevel;
/// The list of answering hosts; the host table hands it its lines.
extern Widget list;

/// Creates, managed and in this order: paned, label, viewport, list, box and
/// the command buttons cancel, accept and ping.  The buttons get no
/// callbacks: translations bind them to the actions.
void CreateWidgets(Widget shell);

/// Where a window of the given size goes on a screen of the given size:
/// centred horizontally, a third of the free height above it.  Computed in
/// signed 16-bit arithmetic, so a window larger than the screen gets a
/// negative position.
void WindowPosition(int screenWidth, int screenHeight, Dimension width,
                    Dimension height, Position *x, Position *y);

/// Moves the realised but unmapped shell to WindowPosition on its screen.
void PlaceWindow(Widget shell);
