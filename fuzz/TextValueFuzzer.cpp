// libFuzzer target: arbitrary text (UTF-8) read as a number the way interval boxes are read, and
// rounded the way the scheduler and the flag readers round it. Besides crashes and sanitizer
// reports (an out-of-range conversion is one), a finding is a value that is not finite, or a
// reading that changes when something that is not part of the number follows it.

#include "settings/TextValue.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using pelmora::settings::TextValue;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const double value = TextValue(text);
    if (!std::isfinite(value))
        std::abort();
    (void)pelmora::settings::roundToInt32(value);
    (void)pelmora::settings::roundToInt16(value);
    // A letter after the text cannot continue a number, so it never changes the reading.
    if (TextValue(text + QStringLiteral("分x")) != value)
        std::abort();
    return 0;
}
