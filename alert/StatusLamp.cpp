#include "alert/StatusLamp.h"

#include "alert/AlertAssets.h"

#include "platform/ProgramPaths.h"

namespace pelmora::alert {

namespace {
constexpr std::int32_t kGreenMilliseconds = 2000;
} // namespace

StatusLamp::StatusLamp(QString programFolder, LampWindowView& window)
    : m_programFolder(std::move(programFolder)), m_window(window)
{
    m_greenTimer.setSingleShot(true);
    m_greenTimer.setInterval(kGreenMilliseconds);
    QObject::connect(&m_greenTimer, &QTimer::timeout, [this] { endGreen(); });
}

void StatusLamp::onLampTick()
{
    if (m_greenTimer.isActive() || !m_window.isShownOnScreen())
        return;
    if (m_window.intervalCheckingFlag() == 1 && m_connectionLost) {
        show(kRedLampLiteral);
    } else if (m_window.intervalCheckingFlag() == 1) {
        show(kGreenLampLiteral);
        m_greenTimer.start();
    } else if (m_window.intervalCheckingFlag() == 0) {
        show(kGreenLampLiteral);
    }
}

// Red ends every green blink, whatever changed meanwhile (interval checking switched off, the
// window hidden); the next tick comes a full period later.
void StatusLamp::endGreen()
{
    show(kRedLampLiteral);
    m_window.restartLampTimer();
}

void StatusLamp::show(const char16_t* literal)
{
    m_window.setLampPicture(
        platform::programFilePath(m_programFolder, QString::fromUtf16(literal)));
}

} // namespace pelmora::alert
