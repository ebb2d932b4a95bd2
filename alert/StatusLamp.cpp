#include "alert/StatusLamp.h"

#include "alert/AlertAssets.h"

#include "platform/ProgramPaths.h"
#include "platform/WaitMilliseconds.h"

namespace pelmora::alert {

namespace {
constexpr std::int32_t kGreenMilliseconds = 2000;
} // namespace

StatusLamp::StatusLamp(platform::TickCounter& ticks, QString programFolder,
                       LampWindowView& window)
    : m_ticks(ticks), m_programFolder(std::move(programFolder)), m_window(window)
{
}

void StatusLamp::onLampTick()
{
    if (m_ticking || !m_window.isShownOnScreen())
        return;
    m_ticking = true;
    if (m_window.intervalCheckingFlag() == 1 && m_connectionLost) {
        show(kRedLampLiteral);
    } else if (m_window.intervalCheckingFlag() == 1) {
        show(kGreenLampLiteral);
        platform::WaitMilliseconds(m_ticks, kGreenMilliseconds);
        show(kRedLampLiteral);
        // A tick that fell due during the wait may be delivered right now; it would turn the
        // lamp green before red was ever painted. The next tick comes a full period later.
        m_window.restartLampTimer();
    } else if (m_window.intervalCheckingFlag() == 0) {
        show(kGreenLampLiteral);
    }
    m_ticking = false;
}

void StatusLamp::show(const char16_t* literal)
{
    m_window.setLampPicture(
        platform::programFilePath(m_programFolder, QString::fromUtf16(literal)));
}

} // namespace pelmora::alert
