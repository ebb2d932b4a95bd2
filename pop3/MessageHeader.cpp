#include "pop3/MessageHeader.h"

#include <QStringDecoder>

namespace pelmora::pop3 {

namespace {

bool isFieldContinuation(char c) { return c == ' ' || c == '\t'; }

QString decodeBytes(QByteArrayView bytes, QByteArrayView charset)
{
    if (!charset.isEmpty()) {
        // RFC 2231 allows a language after '*': "=?UTF-8*ja?B?…?=".
        const auto star = charset.indexOf('*');
        const QByteArray name = (star >= 0 ? charset.first(star) : charset).toByteArray();
        QStringDecoder decoder(name.constData());
        if (decoder.isValid()) {
            QString text = decoder(bytes);
            if (!decoder.hasError())
                return text;
        }
    }
    // ISO-2022-JP is 7-bit and so also valid UTF-8: its escape sequences decide first.
    if (bytes.contains(QByteArrayView("\x1b$"))) {
        QStringDecoder jis("ISO-2022-JP");
        if (jis.isValid()) {
            QString text = jis(bytes);
            if (!jis.hasError())
                return text;
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder sjis("Shift_JIS");
    if (sjis.isValid()) {
        text = sjis(bytes);
        if (!sjis.hasError())
            return text;
    }
    return QString::fromLatin1(bytes);
}

QByteArray decodeQ(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=' && i + 2 < text.size()) {
            bool ok = false;
            const int value = text.sliced(i + 1, 2).toByteArray().toInt(&ok, 16);
            if (ok) {
                out += char(value);
                i += 2;
            } else {
                out += c;
            }
        } else {
            out += c;
        }
    }
    return out;
}

struct EncodedWord {
    qsizetype begin = -1;
    qsizetype end = -1; // one past "?="
    QString text;
};

// Finds the next well-formed encoded-word at or after `from`: "=?charset?e?text?=", where neither
// the charset nor the text holds a '?' (RFC 2047). Each candidate's three '?' are the first ones
// after its "=?", so the candidates' '?' never overlap and no byte is read by more than a few of
// them: the search is linear in the value, whatever it holds.
EncodedWord nextEncodedWord(QByteArrayView value, qsizetype from)
{
    while (true) {
        const auto begin = value.indexOf(QByteArrayView("=?"), from);
        if (begin < 0)
            return {};
        const auto q1 = value.indexOf('?', begin + 2);
        const auto q2 = q1 < 0 ? -1 : value.indexOf('?', q1 + 1);
        const auto q3 = q2 < 0 ? -1 : value.indexOf('?', q2 + 1);
        if (q3 < 0)
            return {}; // too few '?' left for any word to close
        if (q2 != q1 + 2 || q3 + 1 >= value.size() || value[q3 + 1] != '=') {
            from = begin + 2;
            continue;
        }
        const QByteArrayView charset = value.sliced(begin + 2, q1 - begin - 2);
        const char encoding = value[q1 + 1];
        const QByteArrayView payload = value.sliced(q2 + 1, q3 - q2 - 1);
        QByteArray bytes;
        if (encoding == 'B' || encoding == 'b') {
            auto result = QByteArray::fromBase64Encoding(payload.toByteArray(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
            if (!result) {
                from = begin + 2;
                continue;
            }
            bytes = *result;
        } else if (encoding == 'Q' || encoding == 'q') {
            bytes = decodeQ(payload);
        } else {
            from = begin + 2;
            continue;
        }
        return {begin, q3 + 2, decodeBytes(bytes, charset)};
    }
}

} // namespace

QByteArray headerField(QByteArrayView header, QByteArrayView name)
{
    QByteArray value;
    bool inField = false;
    qsizetype pos = 0;
    while (pos < header.size()) {
        auto eol = header.indexOf('\n', pos);
        if (eol < 0)
            eol = header.size();
        QByteArrayView line = header.sliced(pos, eol - pos);
        if (line.endsWith('\r'))
            line.chop(1);
        pos = eol + 1;
        if (line.isEmpty())
            break; // the blank line that ends the header
        if (inField) {
            if (isFieldContinuation(line.front())) {
                value += line;
                continue;
            }
            break;
        }
        const auto colon = line.indexOf(':');
        if (colon == name.size() && line.first(colon).compare(name, Qt::CaseInsensitive) == 0) {
            value = line.sliced(colon + 1).toByteArray();
            inField = true;
        }
    }
    return value.trimmed();
}

QString decodeEncodedWords(QByteArrayView value)
{
    QString out;
    qsizetype pos = 0;
    bool lastWasEncoded = false;
    while (pos < value.size()) {
        const EncodedWord word = nextEncodedWord(value, pos);
        if (word.begin < 0) {
            out += decodeBytes(value.sliced(pos), {});
            break;
        }
        const QByteArrayView between = value.sliced(pos, word.begin - pos);
        // Whitespace between two encoded-words is not part of the text (RFC 2047 section 6.2).
        if (!(lastWasEncoded && between.trimmed().isEmpty()))
            out += decodeBytes(between, {});
        out += word.text;
        pos = word.end;
        lastWasEncoded = true;
    }
    return out;
}

HeaderTexts readHeaderTexts(QByteArrayView header)
{
    return {decodeEncodedWords(headerField(header, "Subject")),
            decodeEncodedWords(headerField(header, "From")),
            decodeEncodedWords(headerField(header, "Date"))};
}

} // namespace pelmora::pop3
