#include "platform/adapters/keychain/KeychainSecretStore.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QTimer>

#include <memory>

namespace pelmora::platform {

using namespace Qt::StringLiterals;

namespace {

const QString kService = u"Pelmora"_s;

using Outcome = SecretStore::Outcome;

// A job of the program's service for the secret `name`, never falling back to a plain file.
template <typename JobType>
JobType* newJob(const QString& name)
{
    auto* job = new JobType(kService);
    job->setInsecureFallback(false);
    job->setKey(name);
    return job;
}

// Starts `job` and waits for it with the thread's events dispatched, at most `patience`. Answers
// the finished job, or nothing: a job that has not finished by then is left to finish and delete
// itself.
template <typename JobType>
std::unique_ptr<JobType> run(JobType* job, std::chrono::milliseconds patience)
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
        return nullptr;
    }
    return std::unique_ptr<JobType>(job);
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
    const auto job = run(newJob<QKeychain::ReadPasswordJob>(name), m_patience);
    if (!job)
        return unavailable(timedOut(m_patience));
    Result result = fromJob(*job);
    if (result.outcome == Outcome::Done)
        result.secret = job->binaryData();
    return result;
}

SecretStore::Result KeychainSecretStore::write(const QString& name, const QByteArray& secret)
{
    auto* prepared = newJob<QKeychain::WritePasswordJob>(name);
    prepared->setBinaryData(secret);
    const auto job = run(prepared, m_patience);
    if (!job)
        return unavailable(timedOut(m_patience));
    Result result = fromJob(*job);
    // Writing never finds "nothing there"; any failure means the keyring did not keep it.
    if (result.outcome == Outcome::NotFound)
        result = unavailable(job->errorString().left(500));
    return result;
}

SecretStore::Result KeychainSecretStore::remove(const QString& name)
{
    const auto job = run(newJob<QKeychain::DeletePasswordJob>(name), m_patience);
    if (!job)
        return unavailable(timedOut(m_patience));
    Result result = fromJob(*job);
    if (result.outcome == Outcome::NotFound)
        result = {Outcome::Done, {}, {}};
    return result;
}

} // namespace pelmora::platform
