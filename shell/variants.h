// Scale and contrast: the resource files "Hostpick-2x" and
// "Hostpick-contrast", laid over the resource file the toolkit read (the
// person's language's, which includes the main one, or the main one) and
// under the user's and the command line's resources.  The toolkit reads
// one resource file only, so the variants are laid by the program: a
// variant's resource replaces the same resource where the database still
// holds the resource file's value, and nowhere else.
#pragma once

#include <X11/Intrinsic.h>

#include <vector>

constexpr double kScale2Dpi = 150; ///< from this density on, auto gives 2

/// The scale that the resource `setting` asks for: 1 or 2 for "1" or "2";
/// for "auto", 2 when the density is kScale2Dpi or more: `xftDpi` when it
/// is above 0 (the resource Xft.dpi is set), else the larger of
/// `screenDpi` and `monitorDpi`.  0 for any other setting.
int ChooseScale(const char *setting, double xftDpi, double screenDpi,
                double monitorDpi);

/// Lays each of `variants`, in order, over `*database`: an entry replaces
/// the entry of the same name and bindings in `*database` when that is
/// missing or holds the same value as in `defaults` (the resource file
/// the database was built from), as it did before any variant was laid.
void LayVariants(XrmDatabase *database, XrmDatabase defaults,
                 const std::vector<XrmDatabase> &variants);

/// The scale in effect, 1 until LoadVariants decides; the density it was
/// decided by, in dots per inch (Xft.dpi where set, else the larger of the
/// screen's and the monitor's); and whether the contrast variant is laid.
extern int scale;
extern double density;
extern bool contrast;

/// Reads the resources "scale" and "contrast" of `topLevel` (the shell,
/// before its children exist) and lays the variants they ask for over its
/// screen's database.  When the X server has none of the fonts of scale 2,
/// keeps scale 1 and says so on standard error, in one line.
void LoadVariants(Widget topLevel);
