#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>

// The failure texts of the IMAP client. The network's own (the name not found, no connection, a
// timeout, a lost connection, TLS) are the POP3 client's, which say nothing of the protocol.
namespace pelmora::imap::failure {

QString badServerName(const QString& typed);
QString garbledResponse(QByteArrayView line);
QString responseTooLong(std::int64_t limit);
QString literalTooLarge(std::int64_t announced, std::int64_t limit);
QString tooManyLiterals(int limit);
QString repliesWithoutEnd(std::int64_t limit);
QString tooManyUnseen(std::size_t limit);
QString nulInResponse();
QString unexpectedContinuation();
QString unknownTag(QByteArrayView line);
QString unexpectedDataBeforeTls();
QString serverSaidBye(QByteArrayView text);
QString preauthWithoutTls();
QString loginDisabled();
QString apopNotForImap();
QString noUidValidity();
QString tokenNeedsTls();
QString tokenNotAccepted();
// `status` is the one the server's error challenge gave, or empty.
QString startTlsRefused(QByteArrayView text);
QString startTlsNoLongerOffered();
QString startTlsNotOffered();
QString inboxNotOpened(QByteArrayView text);
QString searchFailed(QByteArrayView text);
QString fetchRefused(QByteArrayView text);
QString headerNotSent();
QString idleRefused(QByteArrayView text);

} // namespace pelmora::imap::failure
