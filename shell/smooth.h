// hostpick's own List, Label and Command: the Athena widgets, with their
// resources, translations and class names, and one resource more, "face"
// (class "Face"), a face named the fontconfig way.  Where the X server
// draws type (shell/type) and the face is not empty, their text is drawn
// as type in that face, at the density the scale gives (shell/variants),
// and measured so; else they draw their core font set as the Athena
// widgets do.  Label and Command draw their own text whole.  List draws
// no row itself: shell/drawing paints them, through paintRows, as it
// paints the selected one.
#pragma once

#include <X11/Intrinsic.h>
#include <X11/Xft/Xft.h>

#include "shell/type.h"

extern WidgetClass smoothListWidgetClass;
extern WidgetClass smoothLabelWidgetClass;
extern WidgetClass smoothCommandWidgetClass;

/// What a widget of these classes draws type with, once it is realized:
/// its face; its foreground, background, and the two mixed, for what is
/// dimmed.
struct Smooth {
    Face *face;
    XftDraw *draw;
    XftColor ink;
    XftColor paper;
    XftColor dim;
};

/// The type of `widget`, a widget of these classes, realized; null where
/// it draws its core font set.
Smooth *SmoothOf(Widget widget);
/// Its face, realized or not; null where it draws its core font set.
Face *FaceOf(Widget widget);

/// Paints the list's rows that meet `area`, set by shell/drawing.
extern void (*paintRows)(Widget list, const XRectangle &area);

/// The pixels that `length` bytes of `text` take in `widget`, and from
/// one line's top to the next's, as it draws them (its face, else its
/// core font set).
int TextWidthIn(Widget widget, const char *text, int length);
int LineHeightIn(Widget widget);
