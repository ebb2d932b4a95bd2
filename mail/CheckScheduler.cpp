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

CheckScheduler::CheckScheduler(const settings::Preferences& preferences, ScheduledCheck& check,
                               platform::TimerPace pace)
    : m_preferences(preferences),
      m_check(check),
      m_poll(kPollMs, [this] { onPoll(); }, nullptr, pace),
      m_secondTick(0, [this] { onSecondTick(); }, nullptr, pace)
{
}

void CheckScheduler::setIntervalChecking(bool on)
{
    m_secondTick.setInterval(on ? kSecondTickMs : 0);
}

void CheckScheduler::stop()
{
    m_poll.setEnabled(false);
    m_secondTick.setEnabled(false);
}

void CheckScheduler::setMinutes(const QString& text)
{
    if (text != m_minutes)
        m_checkStartedAtThisCount = false;
    m_minutes = text;
}

void CheckScheduler::onSecondTick()
{
    const double rounded = std::nearbyint(TextValue(m_preferences.interval)); // a half to even
    if (!(rounded >= double(std::numeric_limits<std::int32_t>::min()) &&
          rounded <= double(std::numeric_limits<std::int32_t>::max())))
        return;
    const auto interval = std::int32_t(rounded);

    if (TextValue(m_minutes) == interval)
        setMinutes(u"0"_s);
    const double seconds = TextValue(m_seconds);
    if (seconds >= kSecondsBeforeNextMinute) {
        m_seconds = u"0"_s;
        setMinutes(counterText(TextValue(m_minutes) + 1));
    } else {
        m_seconds = counterText(seconds + 1);
    }
}

void CheckScheduler::onPoll()
{
    const double interval = TextValue(m_preferences.interval);
    if (!(interval > 0))
        return;
    if (TextValue(m_minutes) != interval)
        return;
    if (m_checkStartedAtThisCount || m_check.isRunning())
        return;
    m_checkStartedAtThisCount = true;
    m_check.run();
}

} // namespace pelmora::mail
