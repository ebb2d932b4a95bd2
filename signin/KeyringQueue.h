#pragma once

#include "platform/ports/SecretStore.h"

#include <QObject>

#include <deque>
#include <functional>

namespace pelmora::signin {

// The keyring calls of the sign-in, one at a time in the order they were asked for: a removal
// asked for while a write is still waiting for a slow keyring happens after that write, so the
// removal has the last word. Nothing waits; each call's answer comes when the keyring gives it.
// Calls still queued when the queue is deleted are dropped.
class KeyringQueue final : public QObject {
    Q_OBJECT
public:
    using Answer = platform::SecretStore::Answer;

    explicit KeyringQueue(platform::SecretStore& store) : m_store(store) {}

    void read(const QString& name, Answer answer);
    void write(const QString& name, const QByteArray& secret, Answer answer);
    void remove(const QString& name, Answer answer);

private:
    using Call = std::function<void(Answer)>;
    void add(Call call, Answer answer);
    void runNext();

    platform::SecretStore& m_store;
    std::deque<std::pair<Call, Answer>> m_waiting;
    bool m_running = false;
};

} // namespace pelmora::signin
