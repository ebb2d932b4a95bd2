#include "signin/KeyringQueue.h"

namespace pelmora::signin {

void KeyringQueue::read(const QString& name, Answer answer)
{
    add([this, name](Answer done) { m_store.read(name, this, std::move(done)); }, std::move(answer));
}

void KeyringQueue::write(const QString& name, const QByteArray& secret, Answer answer)
{
    add([this, name, secret](Answer done) { m_store.write(name, secret, this, std::move(done)); },
        std::move(answer));
}

void KeyringQueue::remove(const QString& name, Answer answer)
{
    add([this, name](Answer done) { m_store.remove(name, this, std::move(done)); },
        std::move(answer));
}

void KeyringQueue::add(Call call, Answer answer)
{
    m_waiting.emplace_back(std::move(call), std::move(answer));
    runNext();
}

void KeyringQueue::runNext()
{
    if (m_running || m_waiting.empty())
        return;
    auto [call, answer] = std::move(m_waiting.front());
    m_waiting.pop_front();
    m_running = true;
    // A store may answer at once, from inside the call.
    call([this, answer = std::move(answer)](const platform::SecretStore::Result& result) {
        m_running = false;
        if (answer)
            answer(result);
        runNext();
    });
}

} // namespace pelmora::signin
