// The line that shows a host in the list: its name filled out to 30
// columns, a blank and its status, as the locale draws them.  It touches
// no socket and no X.
#pragma once

#include "xdmcp/wire.h"

constexpr int kNameColumns = 30; ///< names are filled out to this width
/// Bounds that keep a flood from taking the program's memory and the
/// window: bytes of a name and of a status kept and shown (a longer one is
/// cut, with a mark), and columns of a line (so that 10000 lines of the
/// default font stay within X's 16-bit coordinates).
constexpr int kMostNameBytes = 255;
constexpr int kMostStatusBytes = 512;
constexpr int kMostLineColumns = 560;

/// The columns that `length` bytes of `text`, in the locale's encoding,
/// take as the window draws them; null (the default) for the locale's own
/// widths.  Asked only of a name whose columns differ from its bytes.
extern int (*drawnColumns)(const char *text, int length);

/// A new line, allocated with malloc, for `name`, then " [address]" when
/// `address` is not null, filled out to kNameColumns, one blank, and
/// `status`.  Name and status end at a zero byte; the status is
/// right-justified in a field as wide as its bytes, so it shows leading
/// blanks only when it holds a zero byte.  What would not show for what it
/// is (invalid text, control and format characters) shows as "?".  Text
/// beyond the bounds is cut and ends in "...".  The filling counts the
/// name's drawnColumns where they are set.  `*nameLength` is set to the
/// bytes of the line that show the name, `*labelLength` to those that show
/// the name and the address, and `*statusAt`, where given, to where the
/// status's field begins.  Null when memory runs out.
char *FormatLine(const ARRAY8 *name, const char *address, const ARRAY8 *status,
                 int *nameLength, int *labelLength, int *statusAt = nullptr);
