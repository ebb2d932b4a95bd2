#include "platform/adapters/keychain/KeychainSecretStore.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QTimer>

namespace pelmora::platform {

using namespace Qt::StringLiterals;

namespace {

const QString kService = u"Pelmora"_s;

using Outcome = SecretStore::Outcome;

// Starts `job` and waits for it with the thread's events dispatched, at most `patience`. A job
// that has not finished by then is left to finish and delete itself.
bool runJob(QKeychain::Job* job, std::chrono::milliseconds patience)
{
    job->setAutoDelete(false);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(patience, &loop, &QEventLoop::quit);
    job->start();
    if (!finished)
        loop.exec();
    if (!finished) {
        QObject::disconnect(job, nullptr, &loop, nullptr);
        job->setAutoDelete(true);
    }
    return finished;
}

SecretStore::Result unavailable(const QString& detail)
{
    return {Outcome::Unavailable, {}, detail};
}

SecretStore::Result fromJob(const QKeychain::Job& job)
{
    switch (job.error()) {
    case QKeychain::NoError:
        return {Outcome::Done, {}, {}};
    case QKeychain::EntryNotFound:
        return {Outcome::NotFound, {}, {}};
    case QKeychain::CouldNotDeleteEntry:
    case QKeychain::AccessDeniedByUser:
    case QKeychain::AccessDenied:
    case QKeychain::NoBackendAvailable:
    case QKeychain::NotImplemented:
    case QKeychain::OtherError:
        break;
    }
    const QString reason = job.errorString().left(500);
    return unavailable(reason.isEmpty() ? u"キーリングがエラーを返しました（%1）"_s.arg(int(job.error()))
                                        : reason);
}

QString timedOut(std::chrono::milliseconds patience)
{
    return u"キーリングが %1 秒以内に応答しませんでした"_s.arg(
        std::chrono::duration_cast<std::chrono::seconds>(patience).count());
}

} // namespace

KeychainSecretStore::KeychainSecretStore(std::chrono::milliseconds patience)
    : m_patience(patience)
{
}

SecretStore::Result KeychainSecretStore::read(const QString& name)
{
    auto* job = new QKeychain::ReadPasswordJob(kService);
    job->setInsecureFallback(false);
    job->setKey(name);
    if (!runJob(job, m_patience))
        return unavailable(timedOut(m_patience));
    Result result = fromJob(*job);
    if (result.outcome == Outcome::Done)
        result.secret = job->binaryData();
    delete job;
    return result;
}

SecretStore::Result KeychainSecretStore::write(const QString& name, const QByteArray& secret)
{
    auto* job = new QKeychain::WritePasswordJob(kService);
    job->setInsecureFallback(false);
    job->setKey(name);
    job->setBinaryData(secret);
    if (!runJob(job, m_patience))
        return unavailable(timedOut(m_patience));
    Result result = fromJob(*job);
    // Writing never finds "nothing there"; any failure means the keyring did not keep it.
    if (result.outcome == Outcome::NotFound)
        result = unavailable(job->errorString().left(500));
    delete job;
    return result;
}

SecretStore::Result KeychainSecretStore::remove(const QString& name)
{
    auto* job = new QKeychain::DeletePasswordJob(kService);
    job->setInsecureFallback(false);
    job->setKey(name);
    if (!runJob(job, m_patience))
        return unavailable(timedOut(m_patience));
    Result result = fromJob(*job);
    if (result.outcome == Outcome::NotFound)
        result = {Outcome::Done, {}, {}};
    delete job;
    return result;
}

} // namespace pelmora::platform
