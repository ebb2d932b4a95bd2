#include "pop3/MessageHeader.h"

#include <QStringDecoder>

#include <algorithm>

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
    QByteArrayView charset;
    QByteArray bytes; // decoded from B or Q, not yet from the charset
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
        return {begin, q3 + 2, charset, std::move(bytes)};
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

// Adjacent encoded-words in one charset are decoded as one run of bytes: some mailers cut a long
// text into words in the middle of a character (RFC 2047 forbids it, mail readers take it).
QString decodeEncodedWords(QByteArrayView value)
{
    QString out;
    qsizetype pos = 0;
    QByteArray run;         // the bytes of the adjacent words read so far
    QByteArrayView charset; // theirs
    const auto endRun = [&] {
        if (!charset.isNull())
            out += decodeBytes(run, charset);
        run.clear();
        charset = {};
    };
    while (pos < value.size()) {
        EncodedWord word = nextEncodedWord(value, pos);
        if (word.begin < 0) {
            endRun();
            out += decodeBytes(value.sliced(pos), {});
            break;
        }
        const QByteArrayView between = value.sliced(pos, word.begin - pos);
        // Whitespace between two encoded-words is not part of the text (RFC 2047 section 6.2).
        const bool adjacent = !charset.isNull() && between.trimmed().isEmpty();
        if (!adjacent || word.charset.compare(charset, Qt::CaseInsensitive) != 0)
            endRun();
        if (!adjacent)
            out += decodeBytes(between, {});
        charset = word.charset;
        run += word.bytes;
        pos = word.end;
    }
    endRun();
    return out;
}

HeaderTexts readHeaderTexts(QByteArrayView header)
{
    const QByteArray from = headerField(header, "From");
    return {decodeEncodedWords(headerField(header, "Subject")), decodeEncodedWords(from),
            decodeEncodedWords(headerField(header, "Date")), senderName(from)};
}

QString senderName(QByteArrayView fromValue, qsizetype maxChars)
{
    // Where the address's '<' and a comment's '(' are: the first of each outside a quoted name.
    qsizetype angle = -1;
    qsizetype paren = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < fromValue.size() && angle < 0; ++i) {
        const char c = fromValue[i];
        if (quoted && c == '\\')
            ++i;
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == '<')
            angle = i;
        else if (!quoted && c == '(' && paren < 0)
            paren = i;
    }
    QByteArrayView name;
    QByteArrayView address = fromValue;
    if (angle >= 0) {
        name = fromValue.first(angle).trimmed();
        address = fromValue.sliced(angle + 1);
        address = address.first(std::max<qsizetype>(0, address.indexOf('>'))).trimmed();
    } else if (paren >= 0) {
        const qsizetype close = fromValue.lastIndexOf(')');
        name = close > paren ? fromValue.sliced(paren + 1, close - paren - 1) : QByteArrayView();
        address = fromValue.first(paren).trimmed();
    }
    QByteArray unquoted;
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        name = name.sliced(1, name.size() - 2);
        unquoted.reserve(name.size());
        for (qsizetype i = 0; i < name.size(); ++i)
            unquoted += name[i] == '\\' && i + 1 < name.size() ? name[++i] : name[i];
        name = unquoted;
    }
    const QString shown = oneLine(decodeEncodedWords(name), maxChars);
    return shown.isEmpty() ? oneLine(decodeEncodedWords(address), maxChars) : shown;
}

QString oneLine(const QString& text, qsizetype maxChars)
{
    const auto isBreakOrTurn = [](char16_t c) {
        return c < 0x20 || (c >= 0x7f && c < 0xa0) || c == 0x2028 || c == 0x2029
            || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) || c == 0x200e
            || c == 0x200f || c == 0x061c;
    };
    QString line;
    line.reserve(std::min(text.size(), maxChars + 1));
    bool space = false;
    qsizetype chars = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (isBreakOrTurn(c) || QChar::isSpace(c)) {
            space = !line.isEmpty();
            continue;
        }
        // A character is one or two UTF-16 units; a surrogate pair is not cut.
        const qsizetype units = QChar::isHighSurrogate(c) && i + 1 < text.size()
                && QChar::isLowSurrogate(text[i + 1].unicode())
            ? 2
            : 1;
        if (chars + (space ? 1 : 0) + 1 > maxChars) {
            if (maxChars > 0) {
                while (chars >= maxChars && !line.isEmpty()) {
                    line.chop(line.size() >= 2 && line.back().isLowSurrogate() ? 2 : 1);
                    --chars;
                }
                if (line.endsWith(u' '))
                    line.chop(1);
                line += u'…';
            }
            return line;
        }
        if (space) {
            line += u' ';
            ++chars;
            space = false;
        }
        line += text.sliced(i, units);
        ++chars;
        i += units - 1;
    }
    return line;
}

} // namespace pelmora::pop3
