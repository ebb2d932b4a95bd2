#include "settings/TextValue.h"

#include <cmath>
#include <limits>

namespace pelmora::settings {

double TextValue(const QString& text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    // Blanks: space and tab, as the classic numeric reader skips them.
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;

    const qsizetype start = i;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    const qsizetype digitsStart = i;
    while (i < n && text[i] >= u'0' && text[i] <= u'9')
        ++i;
    bool anyDigit = i > digitsStart;
    if (i < n && text[i] == u'.') {
        qsizetype j = i + 1;
        while (j < n && text[j] >= u'0' && text[j] <= u'9')
            ++j;
        if (j > i + 1 || anyDigit) {
            anyDigit = anyDigit || j > i + 1;
            i = j;
        }
    }
    if (!anyDigit)
        return 0.0;

    bool ok = false;
    const double value = text.mid(start, i - start).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return 0.0;
    return value;
}

namespace {
template <typename Int>
Int roundClamped(double value)
{
    if (std::isnan(value))
        return 0;
    const double rounded = std::nearbyint(value); // default rounding: half to even
    if (rounded <= double(std::numeric_limits<Int>::min()))
        return std::numeric_limits<Int>::min();
    if (rounded >= double(std::numeric_limits<Int>::max()))
        return std::numeric_limits<Int>::max();
    return static_cast<Int>(rounded);
}
} // namespace

int roundToInt32(double value)
{
    return roundClamped<int>(value);
}

short roundToInt16(double value)
{
    return roundClamped<short>(value);
}

} // namespace pelmora::settings
