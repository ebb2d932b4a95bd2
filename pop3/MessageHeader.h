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
    QString sender; // see senderName()
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

// Who sent a message, for showing, from its From field's value: the name when the field gives one
// ("Name <address>", a quoted name, or "address (Name)"), else the address; decoded, as one line
// of plain text of at most `maxChars` characters (see oneLine()).
QString senderName(QByteArrayView fromValue, qsizetype maxChars = 64);

// `text` as one line of plain text for showing: control characters (line breaks, escapes) and the
// characters that turn the direction of text around (which could make a sender's name read as
// something else) become spaces, runs of white space one, and the ends are trimmed; a text
// longer than `maxChars` characters is cut, never inside a character, and ends with "…".
QString oneLine(const QString& text, qsizetype maxChars);

} // namespace pelmora::pop3
