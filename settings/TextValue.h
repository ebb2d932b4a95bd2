#pragma once

#include <QString>

namespace pelmora::settings {

// The numeric reading of a text box that holds a number: leading blanks are skipped, then the
// longest beginning that forms a decimal number (optional sign, digits, optional fraction) is
// taken. A text that does not begin with a number reads as 0 ("15分" is 15, "abc" is 0,
// "1.5" is 1.5).
double TextValue(const QString& text);

// A number rounded to a whole number the way the interval and flag readers round it: to the
// nearest, a half to the even neighbour, clamped into the range of the result type.
int roundToInt32(double value);
short roundToInt16(double value);

} // namespace pelmora::settings
