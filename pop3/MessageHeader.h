#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace pelmora::pop3 {

// The texts the status and retrieval calls show from a message's header.
struct HeaderTexts {
    QString subject;
    QString from;
    QString date;
};

// Reads the first Subject, From and Date fields of a raw header (lines ending in CRLF or LF,
// folded lines joined) and decodes MIME encoded-words (RFC 2047) in them. Bytes outside
// encoded-words are read as UTF-8 when they are valid UTF-8, as ISO-2022-JP when they carry its
// escape sequences (old Japanese mail), else as Shift_JIS, so no header makes the texts fail.
HeaderTexts readHeaderTexts(QByteArrayView header);

// The unfolded value of the first field called `name` (case-insensitive), or an empty array.
QByteArray headerField(QByteArrayView header, QByteArrayView name);

// Decodes "=?charset?B|Q?…?=" words and joins adjacent ones as RFC 2047 says.
QString decodeEncodedWords(QByteArrayView value);

} // namespace pelmora::pop3
