#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace pelmora::platform {

// Turns the requests to end the program that come as signals (SIGTERM from a logout or a system
// shutdown, SIGHUP, SIGINT) into one call on the UI thread, so the program ends the way its close
// box ends it, saving what it saves then. Only one instance may exist at a time.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(std::function<void()> onRequest, QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the signals could not be caught (they then end the program as before).
    bool isActive() const { return m_notifier != nullptr; }

private:
    std::function<void()> m_onRequest;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace pelmora::platform
