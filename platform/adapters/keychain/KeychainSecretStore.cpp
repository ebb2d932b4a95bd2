#include "platform/adapters/keychain/KeychainSecretStore.h"

#include <qt6keychain/keychain.h>

#include <QTimer>

#include <memory>
#include <utility>

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

// Starts `job` and answers once with what `outcome` reads from it when it finishes, or with
// "unavailable" after `patience`. A job that has not finished by then is left to finish and
// delete itself.
template <typename JobType, typename ReadOutcome>
void run(JobType* job, std::chrono::milliseconds patience, QObject* context,
         SecretStore::Answer answer, ReadOutcome outcome)
{
    auto pending = std::make_shared<SecretStore::Answer>(std::move(answer));
    QObject::connect(job, &QKeychain::Job::finished, context, [job, pending, outcome] {
        if (const SecretStore::Answer answerNow = std::exchange(*pending, nullptr))
            answerNow(outcome(*job));
    });
    QTimer::singleShot(patience, context, [pending, patience] {
        if (const SecretStore::Answer answerNow = std::exchange(*pending, nullptr))
            answerNow(unavailable(timedOut(patience)));
    });
    job->start();
}

} // namespace

KeychainSecretStore::KeychainSecretStore(std::chrono::milliseconds patience)
    : m_patience(patience)
{
}

void KeychainSecretStore::read(const QString& name, QObject* context, Answer answer)
{
    run(newJob<QKeychain::ReadPasswordJob>(name), m_patience, context, std::move(answer),
        [](const QKeychain::ReadPasswordJob& job) {
            Result result = fromJob(job);
            if (result.outcome == Outcome::Done)
                result.secret = job.binaryData();
            return result;
        });
}

void KeychainSecretStore::write(const QString& name, const QByteArray& secret, QObject* context,
                                Answer answer)
{
    auto* job = newJob<QKeychain::WritePasswordJob>(name);
    job->setBinaryData(secret);
    run(job, m_patience, context, std::move(answer), [](const QKeychain::WritePasswordJob& done) {
        Result result = fromJob(done);
        // Writing never finds "nothing there"; any failure means the keyring did not keep it.
        if (result.outcome == Outcome::NotFound)
            result = unavailable(done.errorString().left(500));
        return result;
    });
}

void KeychainSecretStore::remove(const QString& name, QObject* context, Answer answer)
{
    run(newJob<QKeychain::DeletePasswordJob>(name), m_patience, context, std::move(answer),
        [](const QKeychain::DeletePasswordJob& job) {
            Result result = fromJob(job);
            if (result.outcome == Outcome::NotFound)
                result = {Outcome::Done, {}, {}};
            return result;
        });
}

} // namespace pelmora::platform
