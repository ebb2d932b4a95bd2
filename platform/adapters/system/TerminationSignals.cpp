#include "platform/adapters/system/TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace pelmora::platform {

namespace {
constexpr std::array kSignals{SIGTERM, SIGHUP, SIGINT};

// The write end of a pipe; a signal handler may do nothing but write a byte into it.
int g_signalWriteFd = -1;

extern "C" void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalWriteFd, &byte, 1);
}
} // namespace

TerminationSignals::TerminationSignals(std::function<void()> onRequest, QObject* parent)
    : QObject(parent), m_onRequest(std::move(onRequest))
{
    int fds[2];
    if (g_signalWriteFd != -1 || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_signalWriteFd = fds[1];

    m_notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (::read(int(m_notifier->socket()), buffer, sizeof buffer) > 0) {
        }
        if (m_onRequest)
            m_onRequest();
    });

    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier)
        return;
    for (int signal : kSignals)
        ::signal(signal, SIG_DFL);
    const int readFd = int(m_notifier->socket());
    delete m_notifier;
    ::close(readFd);
    ::close(g_signalWriteFd);
    g_signalWriteFd = -1;
}

} // namespace pelmora::platform
