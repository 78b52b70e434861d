// Type drawn on the client, antialiased, through Xft and fontconfig: a
// face named the fontconfig way ("DejaVu Sans-11"), at a density that the
// program sets, whose characters missing from its font are drawn from the
// next font in fontconfig's order that has them, a run of characters a
// font.  Measuring and drawing choose the fonts alike, so a text is drawn
// as wide as it was measured.  Faces are opened once and kept for the
// program's life; texts are in the locale's encoding.
#pragma once

#include <X11/Xft/Xft.h>

struct Face;

/// Has fontconfig read its configuration and caches on a thread of its
/// own, while the toolkit starts; the first face waits for it.
void StartType();

/// Whether the display can draw such type: it has the RENDER extension.
bool DrawsType(Display *display);

/// The face `name` at `dpi` dots per inch for `display`'s default screen;
/// the same face for the same display, name and density.  Null where it cannot
/// be had: an empty name, no RENDER, no font at all.
Face *OpenFace(Display *display, const char *name, double dpi);

/// Pixels from the top of a line to its baseline, and from one line's top
/// to the next's, as the face's first font has them.
int FaceAscent(const Face *face);
int FaceHeight(const Face *face);

/// The advance of `length` bytes of `text`; 0 for no face.
int TextWidth(Face *face, const char *text, int length);

/// Draws `length` bytes of `text` in `color`, its baseline's start at
/// (x, y); nothing for no face.
void DrawText(Face *face, XftDraw *draw, const XftColor *color, int x, int y,
              const char *text, int length);
