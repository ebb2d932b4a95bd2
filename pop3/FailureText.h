#pragma once

#include <QByteArrayView>
#include <QString>

#include <chrono>
#include <cstdint>

// Every failure text the POP3 client can give the user, in one place, so the texts
// stay consistent and can be listed for translators and the user guide.
namespace pelmora::pop3::failure {

// A server's text as shown to the user: printable ASCII kept, anything else '?', cut to a bound.
QString shown(QByteArrayView line);

QString badServerName(const QString& typed);
QString hostNotFound(const QString& host, const QString& detail);
QString cannotConnect(const QString& host, const QString& detail);
QString connectTimedOut(const QString& host, std::chrono::milliseconds limit);
QString replyTimedOut(std::chrono::milliseconds limit);
QString checkTookTooLong(std::chrono::milliseconds limit);
QString connectionLost();
QString connectionClosedByCaller();
QString garbledReply(QByteArrayView line);
QString unsolicitedData();
QString replyLineTooLong(qsizetype limit);
QString replyTooLong(std::int64_t limit);
QString capabilityListTooLong(qsizetype lineLimit);
QString nulInReply();
QString unexpectedDataBeforeTls();
QString serverRejected(QByteArrayView serverLine);
QString loginRejected(QByteArrayView serverLine);
QString apopWithoutTimestamp();
QString lineBreakInCredentials();
QString controlCharacterInToken();
QString tokenNeedsTls();
QString tokenNotAccepted();
// `status` is the one the server's error challenge gave, or empty.
QString tokenRefused(QByteArrayView serverLine, QByteArrayView status);
QString tlsUnavailable();
QString tlsFailed(const QString& detail);
QString startTlsRefused(QByteArrayView serverLine);
QString startTlsNoLongerOffered();
QString startTlsNotOffered();
QString badMessageCount(QByteArrayView serverLine);
QString noSuchMessage(int number, int count);
QString headersNotOffered();
QString messageIdsNotOffered();
QString messageIdsNotUsable();
QString tooManyMessageIds(int limit);
QString sessionBusy();
QString notLoggedIn();

} // namespace pelmora::pop3::failure
