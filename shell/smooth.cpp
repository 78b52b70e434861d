#include "shell/smooth.h"

#include <X11/IntrinsicP.h>
#include <X11/StringDefs.h>
#include <X11/Xaw/CommandP.h>
#include <X11/Xaw/LabelP.h>
#include <X11/Xaw/ListP.h>

#include <algorithm>
#include <cstring>

#include "shell/variants.h"

void (*paintRows)(Widget list, const XRectangle &area);

namespace {

struct SmoothPart {
    String faceName; // the resource
    Face *face;      // null: the core font set draws
    Smooth smooth;   // its draw made when first painted
    String text;     // Label and Command: the label, which they draw here
    GC noop;         // List: draws nothing, for the list's own painting
};

struct SmoothListRec {
    CorePart core;
    SimplePart simple;
    ListPart list;
    SmoothPart smooth;
};

struct SmoothLabelRec {
    CorePart core;
    SimplePart simple;
    LabelPart label;
    SmoothPart smooth;
};

struct SmoothCommandRec {
    CorePart core;
    SimplePart simple;
    LabelPart label;
    CommandPart command;
    SmoothPart smooth;
};

template <typename Rec> XtResource faceResource() {
    return {const_cast<char *>("face"),
            const_cast<char *>("Face"),
            const_cast<char *>(XtRString),
            sizeof(String),
            XtOffsetOf(Rec, smooth.faceName),
            const_cast<char *>(XtRString),
            nullptr};
}

XtResource listResources[] = {faceResource<SmoothListRec>()};
XtResource labelResources[] = {faceResource<SmoothLabelRec>()};
XtResource commandResources[] = {faceResource<SmoothCommandRec>()};

SmoothPart *PartOf(Widget w) {
    if (XtIsSubclass(w, smoothCommandWidgetClass))
        return &reinterpret_cast<SmoothCommandRec *>(w)->smooth;
    if (XtIsSubclass(w, smoothLabelWidgetClass))
        return &reinterpret_cast<SmoothLabelRec *>(w)->smooth;
    if (XtIsSubclass(w, smoothListWidgetClass))
        return &reinterpret_cast<SmoothListRec *>(w)->smooth;
    return nullptr;
}

XftColor ColorOf(Widget w, Pixel pixel) {
    XColor asked{};
    asked.pixel = pixel;
    XQueryColor(XtDisplay(w), w->core.colormap, &asked);
    XftColor color{};
    color.pixel = pixel;
    color.color = {asked.red, asked.green, asked.blue, 0xffff};
    return color;
}

// The widget's type made ready to draw, the first time it is: the draw on
// its window, and its colours.
Smooth *Ready(Widget w, SmoothPart *part, Pixel foreground) {
    if (part->face == nullptr || !XtIsRealized(w))
        return nullptr;
    Smooth &s = part->smooth;
    if (s.draw != nullptr)
        return &s;
    s.face = part->face;
    s.draw =
        XftDrawCreate(XtDisplay(w), XtWindow(w),
                      DefaultVisualOfScreen(XtScreen(w)), w->core.colormap);
    if (s.draw == nullptr)
        return nullptr;
    s.ink = ColorOf(w, foreground);
    s.paper = ColorOf(w, w->core.background_pixel);
    s.dim = s.ink;
    s.dim.color.red =
        static_cast<unsigned short>((s.ink.color.red + s.paper.color.red) / 2);
    s.dim.color.green = static_cast<unsigned short>(
        (s.ink.color.green + s.paper.color.green) / 2);
    s.dim.color.blue = static_cast<unsigned short>(
        (s.ink.color.blue + s.paper.color.blue) / 2);
    return &s;
}

void Open(Widget w, SmoothPart *part) {
    part->face = OpenFace(XtDisplay(w), part->faceName, kBaseDpi * scale);
    part->smooth = {};
    part->text = nullptr;
    part->noop = nullptr;
}

void ForgetDraw(SmoothPart *part) {
    if (part->smooth.draw != nullptr)
        XftDrawDestroy(part->smooth.draw);
    part->smooth.draw = nullptr;
}

// ---- List ----

// The list's own painting goes to a GC that draws nothing; the rows are
// painted by paintRows alone.
void SilenceList(Widget w) {
    ListPart &l = reinterpret_cast<SmoothListRec *>(w)->list;
    SmoothPart &s = reinterpret_cast<SmoothListRec *>(w)->smooth;
    XGCValues values;
    values.function = GXnoop;
    for (GC *gc : {&l.normgc, &l.revgc, &l.graygc}) {
        if (*gc != nullptr)
            XtReleaseGC(w, *gc);
        *gc = XtGetGC(w, GCFunction, &values);
    }
    s.noop = l.normgc;
}

void ListInitialize(Widget, Widget w, ArgList, Cardinal *) {
    SmoothPart &s = reinterpret_cast<SmoothListRec *>(w)->smooth;
    Open(w, &s);
    if (s.face != nullptr)
        SilenceList(w);
}

Boolean ListSetValues(Widget, Widget, Widget w, ArgList, Cardinal *) {
    SmoothPart &s = reinterpret_cast<SmoothListRec *>(w)->smooth;
    if (s.face != nullptr &&
        reinterpret_cast<SmoothListRec *>(w)->list.normgc != s.noop)
        SilenceList(w);
    return False;
}

void ListDestroy(Widget w) {
    ForgetDraw(&reinterpret_cast<SmoothListRec *>(w)->smooth);
}

XRectangle AreaOf(XEvent *event, Region region) {
    XRectangle area{};
    if (region != nullptr) {
        XClipBox(region, &area);
    } else if (event != nullptr && event->type == Expose) {
        area = {static_cast<short>(event->xexpose.x),
                static_cast<short>(event->xexpose.y),
                static_cast<unsigned short>(event->xexpose.width),
                static_cast<unsigned short>(event->xexpose.height)};
    } else if (event != nullptr && event->type == GraphicsExpose) {
        area = {static_cast<short>(event->xgraphicsexpose.x),
                static_cast<short>(event->xgraphicsexpose.y),
                static_cast<unsigned short>(event->xgraphicsexpose.width),
                static_cast<unsigned short>(event->xgraphicsexpose.height)};
    }
    return area;
}

void ListExpose(Widget w, XEvent *event, Region region) {
    auto *lw = reinterpret_cast<SmoothListRec *>(w);
    if (lw->smooth.face == nullptr) {
        listClassRec.core_class.expose(w, event, region);
        return;
    }
    if (paintRows != nullptr)
        paintRows(w, AreaOf(event, region));
}

// ---- Label and Command ----

// The text the widget shows, taken from the Athena widget, which is left
// an empty label to draw and keeps only its size from it.
void TakeText(Widget w, LabelPart *label, SmoothPart *part) {
    String given = label->label != nullptr ? label->label : w->core.name;
    String text = XtNewString(given != nullptr ? given : "");
    if (label->label != nullptr && label->label != w->core.name)
        XtFree(label->label);
    XtFree(part->text);
    part->text = text;
    label->label = XtNewString("");
    label->label_len = 0;
}

template <typename Each> void ForEachLine(const char *text, Each each) {
    for (int i = 0;; i++) {
        const char *end = std::strchr(text, '\n');
        int length = end != nullptr ? static_cast<int>(end - text)
                                    : static_cast<int>(std::strlen(text));
        each(i, text, length);
        if (end == nullptr)
            return;
        text = end + 1;
    }
}

// The room a left bitmap takes before the text.
int BitmapRoom(const LabelPart &label) {
    return label.left_bitmap != None
               ? static_cast<int>(label.lbm_width) + label.internal_width
               : 0;
}

// The label's size as the face draws its lines, and the widget's width and
// height from it where asked.
void Measure(Widget w, LabelPart *label, SmoothPart *part, bool width,
             bool height) {
    int widest = 0;
    int lines = 0;
    ForEachLine(part->text, [&](int, const char *line, int length) {
        widest = std::max(widest, TextWidth(part->face, line, length));
        lines++;
    });
    label->label_width = static_cast<Dimension>(widest);
    label->label_height =
        static_cast<Dimension>(lines * FaceHeight(part->face));
    if (width)
        w->core.width = static_cast<Dimension>(
            widest + 2 * label->internal_width + BitmapRoom(*label));
    if (height)
        w->core.height = static_cast<Dimension>(label->label_height +
                                                2 * label->internal_height);
}

void PaintText(Widget w, LabelPart *label, SmoothPart *part,
               const CommandPart *command) {
    Smooth *s = Ready(w, part, label->foreground);
    if (s == nullptr || part->text == nullptr)
        return;
    // Antialiased text drawn over itself would darken: what it is drawn on
    // is painted first, inside a button's highlight.
    bool inverted = command != nullptr && command->set;
    {
        int edge = command != nullptr ? command->highlight_thickness : 0;
        int width = w->core.width - 2 * edge;
        int height = w->core.height - 2 * edge;
        if (width > 0 && height > 0)
            XftDrawRect(s->draw, inverted ? &s->ink : &s->paper, edge, edge,
                        static_cast<unsigned>(width),
                        static_cast<unsigned>(height));
    }
    const XftColor *color = inverted           ? &s->paper
                            : XtIsSensitive(w) ? &s->ink
                                               : &s->dim;
    int height = FaceHeight(part->face);
    int lines = 0;
    ForEachLine(part->text, [&](int, const char *, int) { lines++; });
    int top = (static_cast<int>(w->core.height) - lines * height) / 2;
    int left = label->internal_width + BitmapRoom(*label);
    ForEachLine(part->text, [&](int i, const char *line, int length) {
        int width = TextWidth(part->face, line, length);
        int x = label->justify == XtJustifyLeft ? left
                : label->justify == XtJustifyRight
                    ? w->core.width - label->internal_width - width
                    : (static_cast<int>(w->core.width) - width) / 2;
        DrawText(part->face, s->draw, color, x,
                 top + i * height + FaceAscent(part->face), line, length);
    });
}

template <typename Rec>
void TextInitialize(Widget request, Widget w, ArgList, Cardinal *) {
    auto *rec = reinterpret_cast<Rec *>(w);
    Open(w, &rec->smooth);
    if (rec->smooth.face == nullptr)
        return;
    TakeText(w, &rec->label, &rec->smooth);
    Measure(w, &rec->label, &rec->smooth, request->core.width == 0,
            request->core.height == 0);
}

template <typename Rec>
Boolean TextSetValues(Widget current, Widget, Widget w, ArgList, Cardinal *) {
    auto *rec = reinterpret_cast<Rec *>(w);
    if (rec->smooth.face == nullptr ||
        rec->label.label == reinterpret_cast<Rec *>(current)->label.label)
        return False;
    TakeText(w, &rec->label, &rec->smooth);
    Measure(w, &rec->label, &rec->smooth, rec->label.resize != False,
            rec->label.resize != False);
    return True;
}

// XtNlabel reads the text the widget shows, not the empty label.
template <typename Rec>
void TextGetValues(Widget w, ArgList args, Cardinal *count) {
    auto *rec = reinterpret_cast<Rec *>(w);
    if (rec->smooth.face == nullptr)
        return;
    for (Cardinal i = 0; i < *count; i++)
        if (std::strcmp(args[i].name, XtNlabel) == 0)
            // The toolkit's way: the value is where to store.
            // NOLINTNEXTLINE(performance-no-int-to-ptr)
            *reinterpret_cast<String *>(args[i].value) = rec->smooth.text;
}

template <typename Rec> void TextDestroy(Widget w) {
    auto *rec = reinterpret_cast<Rec *>(w);
    ForgetDraw(&rec->smooth);
    XtFree(rec->smooth.text);
}

void LabelExpose(Widget w, XEvent *event, Region region) {
    auto *rec = reinterpret_cast<SmoothLabelRec *>(w);
    if (rec->smooth.face == nullptr)
        labelClassRec.core_class.expose(w, event, region);
    else
        PaintText(w, &rec->label, &rec->smooth, nullptr);
}

void CommandExpose(Widget w, XEvent *event, Region region) {
    auto *rec = reinterpret_cast<SmoothCommandRec *>(w);
    commandClassRec.core_class.expose(w, event, region);
    if (rec->smooth.face != nullptr)
        PaintText(w, &rec->label, &rec->smooth, &rec->command);
}

// A button's actions paint it (pressed, highlighted) without its text,
// which is painted again once they are done.
Boolean RepaintButton(XtPointer closure) noexcept {
    auto *rec = static_cast<SmoothCommandRec *>(closure);
    PaintText(reinterpret_cast<Widget>(rec), &rec->label, &rec->smooth,
              &rec->command);
    return True;
}

void AfterButtonAction(Widget w, XtPointer, String, XEvent *, String *,
                       Cardinal *) noexcept {
    if (XtIsSubclass(w, smoothCommandWidgetClass) &&
        reinterpret_cast<SmoothCommandRec *>(w)->smooth.face != nullptr)
        XtAppAddWorkProc(XtWidgetToApplicationContext(w), RepaintButton, w);
}

void CommandInitialize(Widget request, Widget w, ArgList args,
                       Cardinal *count) {
    static bool hooked;
    TextInitialize<SmoothCommandRec>(request, w, args, count);
    if (!hooked && reinterpret_cast<SmoothCommandRec *>(w)->smooth.face) {
        hooked = true;
        XtAppAddActionHook(XtWidgetToApplicationContext(w), AfterButtonAction,
                           nullptr);
    }
}

// ---- the classes ----

// A class that is `super`, the Athena class, but for the methods given:
// the chained ones (initialize, set_values, get_values_hook, destroy) run
// after the superclass's, the others replace them.
template <typename Rec, typename ClassRec>
ClassRec Derive(ClassRec &super, XtResource *resources, XtInitProc initialize,
                XtExposeProc expose) {
    const CoreClassPart &base = super.core_class;
    ClassRec r{};
    CoreClassPart &c = r.core_class;
    c.superclass = reinterpret_cast<WidgetClass>(&super);
    c.class_name = base.class_name; // resources name the Athena classes
    c.widget_size = sizeof(Rec);
    c.initialize = initialize;
    c.realize = XtInheritRealize;
    c.resources = resources;
    c.num_resources = 1;
    c.xrm_class = NULLQUARK;
    c.compress_motion = base.compress_motion;
    c.compress_exposure = base.compress_exposure;
    c.compress_enterleave = base.compress_enterleave;
    c.visible_interest = base.visible_interest;
    c.resize = XtInheritResize;
    c.expose = expose;
    c.set_values_almost = XtInheritSetValuesAlmost;
    c.accept_focus = XtInheritAcceptFocus;
    c.version = XtVersion;
    c.tm_table = XtInheritTranslations;
    c.query_geometry = XtInheritQueryGeometry;
    c.display_accelerator = XtInheritDisplayAccelerator;
    r.simple_class.change_sensitive = XtInheritChangeSensitive;
    return r;
}

// Label's and Command's: their text kept here.
template <typename Rec, typename ClassRec>
ClassRec DeriveText(ClassRec &super, XtResource *resources,
                    XtInitProc initialize, XtExposeProc expose) {
    ClassRec r = Derive<Rec>(super, resources, initialize, expose);
    r.core_class.set_values = TextSetValues<Rec>;
    r.core_class.get_values_hook = TextGetValues<Rec>;
    r.core_class.destroy = TextDestroy<Rec>;
    return r;
}

ListClassRec smoothListClassRec = [] {
    ListClassRec r = Derive<SmoothListRec>(listClassRec, listResources,
                                           ListInitialize, ListExpose);
    r.core_class.set_values = ListSetValues;
    r.core_class.destroy = ListDestroy;
    return r;
}();

LabelClassRec smoothLabelClassRec = DeriveText<SmoothLabelRec>(
    labelClassRec, labelResources, TextInitialize<SmoothLabelRec>, LabelExpose);

CommandClassRec smoothCommandClassRec = DeriveText<SmoothCommandRec>(
    commandClassRec, commandResources, CommandInitialize, CommandExpose);

} // namespace

WidgetClass smoothListWidgetClass =
    reinterpret_cast<WidgetClass>(&smoothListClassRec);
WidgetClass smoothLabelWidgetClass =
    reinterpret_cast<WidgetClass>(&smoothLabelClassRec);
WidgetClass smoothCommandWidgetClass =
    reinterpret_cast<WidgetClass>(&smoothCommandClassRec);

Smooth *SmoothOf(Widget w) {
    SmoothPart *part = PartOf(w);
    if (part == nullptr)
        return nullptr;
    Pixel foreground =
        XtIsSubclass(w, smoothListWidgetClass)
            ? reinterpret_cast<SmoothListRec *>(w)->list.foreground
        : XtIsSubclass(w, smoothCommandWidgetClass)
            ? reinterpret_cast<SmoothCommandRec *>(w)->label.foreground
            : reinterpret_cast<SmoothLabelRec *>(w)->label.foreground;
    return Ready(w, part, foreground);
}

Face *FaceOf(Widget w) {
    SmoothPart *part = PartOf(w);
    return part != nullptr ? part->face : nullptr;
}

int TextWidthIn(Widget w, const char *text, int length) {
    SmoothPart *part = PartOf(w);
    if (part != nullptr && part->face != nullptr)
        return TextWidth(part->face, text, length);
    XFontSet fontSet = nullptr;
    XtVaGetValues(w, XtNfontSet, &fontSet, nullptr);
    return fontSet != nullptr ? XmbTextEscapement(fontSet, text, length) : 0;
}

int LineHeightIn(Widget w) {
    SmoothPart *part = PartOf(w);
    if (part != nullptr && part->face != nullptr)
        return FaceHeight(part->face);
    XFontSet fontSet = nullptr;
    XtVaGetValues(w, XtNfontSet, &fontSet, nullptr);
    return fontSet != nullptr
               ? XExtentsOfFontSet(fontSet)->max_logical_extent.height
               : 0;
}
