// Drives hostpick's window on the test's X server the way a person would:
// finds it, reads its geometry, clicks list rows and presses keys through
// xdotool (real input events through the XTEST extension).
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

// Resources that make the list's rows predictable for the tests: the
// "fixed" font (a font, not a font set, whose rows would depend on the
// locale), no spacing between rows, no margin above the first.
std::vector<std::string> TestResources(const std::string &title);

struct Geometry {
    int x, y;          ///< outer corner, relative to the root window
    int width, height; ///< inside size
    int border;
};

class XDriver {
  public:
    XDriver();
    ~XDriver();
    /// The mapped top-level window titled `title`, or 0 after `ms`.
    Window WaitForWindow(const std::string &title, int ms = 10000);
    /// The list widget's window inside hostpick's top-level window.
    Window ListWindow(Window top);
    Geometry GeometryOf(Window w);
    /// Height of one list row.
    int RowHeight();
    /// Clicks button 1 on list row `row`, `count` times in quick succession.
    void ClickRow(Window top, int row, int count = 1);
    /// The command buttons, from left to right.
    std::vector<Window> Buttons(Window top);
    /// Clicks the centre of the command button labelled `label`, holding
    /// the button down for `holdMs`.
    void ClickButton(Window top, const std::string &label, int holdMs = 0);
    /// Moves the pointer into the window and presses `key` (an X keysym
    /// name such as Return).
    void Key(Window top, const std::string &key);
    /// With the pointer in the screen's corner, outside the window, presses
    /// `keys` one after another ("End Up Return"), or types `text`.
    void KeysOutside(const std::string &keys);
    void TypeOutside(const std::string &text);
    /// Clicks button 1 where the pointer is.
    void ClickAgain();
    /// Clicks the list's highlighted line where the viewport shows it, found
    /// by its dark background with its light text; false when no such line
    /// is in view, or its text is not.
    bool ClickHighlightedLine(Window top);
    /// Asks the window to close, as a window manager does
    /// (WM_DELETE_WINDOW).
    void CloseWindow(Window top);
    /// The pixels of the heading, the top pane of the window (and its
    /// geometry, where `g` is given), and of the part of the list in view.
    std::vector<unsigned long> HeadingImage(Window top, Geometry *g = nullptr);
    /// The heading's pixels once its text is drawn (Viewable comes before
    /// drawn: the text waits for an Expose), or as they are after `ms`.
    std::vector<unsigned long> DrawnHeading(Window top, int ms = 3000);
    std::vector<unsigned long> ListImage(Window top);
    /// How many rows from the top of the list's view have something drawn
    /// in them, the list not scrolled.
    int DrawnRows(Window top);
    /// The pixels of any window, row by row, and of the list's view.
    std::vector<unsigned long> WindowImage(Window w);
    Window ListView(Window top);
    /// Clicks button 1 at (x, y) inside `w`.
    void ClickAt(Window w, int x, int y);
    /// Saves a screenshot of the whole screen.
    void Screenshot(const std::string &path);

  private:
    Display *display_;
};
