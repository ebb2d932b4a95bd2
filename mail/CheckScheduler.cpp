#include "mail/CheckScheduler.h"

#include "settings/TextValue.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace pelmora::mail {

using namespace Qt::StringLiterals;
using settings::TextValue;

namespace {
constexpr double kSecondsBeforeNextMinute = 60;

// A counter's new text: the decimal digits of a whole number.
QString counterText(double value)
{
    return QString::number(value, 'f', 0);
}
} // namespace

CheckScheduler::CheckScheduler(const settings::Preferences& preferences, CheckRoutine& check)
    : m_preferences(preferences), m_check(check)
{
}

void CheckScheduler::setMinutes(const QString& text)
{
    if (text != m_text1)
        m_checkStartedAtThisCount = false;
    m_text1 = text;
}

void CheckScheduler::Timer3_Timer()
{
    const double rounded = std::nearbyint(TextValue(m_preferences.interval)); // a half to even
    if (!(rounded >= double(std::numeric_limits<std::int32_t>::min()) &&
          rounded <= double(std::numeric_limits<std::int32_t>::max())))
        return;
    const auto interval = std::int32_t(rounded);

    if (TextValue(m_text1) == interval)
        setMinutes(u"0"_s);
    const double seconds = TextValue(m_text4);
    if (seconds >= kSecondsBeforeNextMinute) {
        m_text4 = u"0"_s;
        setMinutes(counterText(TextValue(m_text1) + 1));
    } else {
        m_text4 = counterText(seconds + 1);
    }
}

void CheckScheduler::Timer1_Timer()
{
    const double interval = TextValue(m_preferences.interval);
    if (!(interval > 0))
        return;
    if (TextValue(m_text1) != interval)
        return;
    if (m_checkStartedAtThisCount || m_check.isRunning())
        return;
    m_checkStartedAtThisCount = true;
    m_check.Picture7_Click();
}

} // namespace pelmora::mail
