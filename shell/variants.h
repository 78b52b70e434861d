// Scale and contrast, laid over the resource file the toolkit read (the
// person's language's, which includes the main one, or the main one) and
// under the user's and the command line's resources.  The scale multiplies
// every dimension the resources give (sizes, borders, spacings, padding)
// and the density at which faces are drawn (shell/smooth); the contrast
// variant is the resource file "Hostpick-contrast".  The toolkit reads one
// resource file only, so the variants are laid by the program: a
// variant's resource replaces the same resource where the database still
// holds the resource file's value, and nowhere else.
#pragma once

#include <X11/Intrinsic.h>

#include <vector>

constexpr double kBaseDpi = 96;  ///< the density of scale 1
constexpr double kMostScale = 4; ///< scales are 1 to this

/// The scale that the resource `setting` asks for: a number from 1 to
/// kMostScale ("1", "1.5"); for "auto", the density over kBaseDpi, to the
/// nearest quarter, from 1 to kMostScale: the density is `xftDpi` when it
/// is above 0 (the resource Xft.dpi is set), else the larger of
/// `screenDpi` and `monitorDpi`.  0 for any other setting.
double ChooseScale(const char *setting, double xftDpi, double screenDpi,
                   double monitorDpi);

/// `base` pixels at `scale`, in whole pixels, at least 1 where `base` is.
int Scaled(int base, double scale);

/// Lays each of `variants`, in order, over `*database`: an entry replaces
/// the entry of the same name and bindings in `*database` when that is
/// missing or holds the same value as in `defaults` (the resource file
/// the database was built from), as it did before any variant was laid.
void LayVariants(XrmDatabase *database, XrmDatabase defaults,
                 const std::vector<XrmDatabase> &variants);

/// The scale in effect, 1 until LoadVariants decides; the density it was
/// decided by, in dots per inch (Xft.dpi where set, else the larger of the
/// screen's and the monitor's); and whether the contrast variant is laid.
extern double scale;
extern double density;
extern bool contrast;

/// Reads the resources "scale" and "contrast" of `topLevel` (the shell,
/// before its children exist) and lays the variants they ask for over its
/// screen's database.  Where the widgets draw type, those but the entry
/// hold the font set "fixed", which they never draw with.  Where they draw
/// their core font sets (the X server has no RENDER, or the list's face is
/// empty), a scale of 1.5 or more takes the core fonts of scale 2; when the
/// X server has none of them, it keeps scale 1 and says so on standard
/// error, in one line.  The entry takes them in either case.
void LoadVariants(Widget topLevel);
