#include "imap/ResponseParts.h"

#include <algorithm>

namespace pelmora::imap {

namespace {

bool endsAtom(char c)
{
    return c == ' ' || c == '(' || c == ')' || c == '[' || c == ']' || c == '{' || c == '"'
        || c == '\n' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
}

} // namespace

bool ResponseParts::space() { return take(' '); }

bool ResponseParts::take(char c)
{
    if (m_pos < text().size() && text()[m_pos] == c) {
        ++m_pos;
        return true;
    }
    return false;
}

QByteArrayView ResponseParts::atom(bool withSection)
{
    const qsizetype start = m_pos;
    while (m_pos < text().size() && !endsAtom(text()[m_pos]))
        ++m_pos;
    if (withSection && m_pos > start && m_pos < text().size() && text()[m_pos] == '[') {
        const qsizetype close = text().indexOf(']', m_pos);
        if (close < 0)
            return {};
        m_pos = close + 1;
        if (m_pos < text().size() && text()[m_pos] == '<') {
            const qsizetype end = text().indexOf('>', m_pos);
            if (end < 0)
                return {};
            m_pos = end + 1;
        }
    }
    return text().sliced(start, m_pos - start);
}

std::optional<std::uint32_t> ResponseParts::number()
{
    const qsizetype start = m_pos;
    std::uint64_t value = 0;
    while (m_pos < text().size() && text()[m_pos] >= '0' && text()[m_pos] <= '9') {
        value = value * 10 + std::uint64_t(text()[m_pos] - '0');
        if (value > 0xffffffffULL)
            return std::nullopt;
        ++m_pos;
    }
    if (m_pos == start)
        return std::nullopt;
    return std::uint32_t(value);
}

std::optional<QByteArray> ResponseParts::literal()
{
    // The reader left "{n}" and a '\n' where the literal's bytes were.
    const qsizetype close = text().indexOf('}', m_pos);
    if (close < 0 || close + 1 >= text().size() || text()[close + 1] != '\n'
        || m_nextLiteral >= m_response.literals.size())
        return std::nullopt;
    m_pos = close + 2;
    return m_response.literals[m_nextLiteral++];
}

std::optional<QByteArray> ResponseParts::string()
{
    if (m_pos >= text().size())
        return std::nullopt;
    if (text()[m_pos] == '{')
        return literal();
    if (text()[m_pos] == '"') {
        QByteArray value;
        for (qsizetype i = m_pos + 1; i < text().size(); ++i) {
            char c = text()[i];
            if (c == '"') {
                m_pos = i + 1;
                return value;
            }
            if (c == '\\' && i + 1 < text().size())
                c = text()[++i];
            value.append(c);
        }
        return std::nullopt;
    }
    const qsizetype start = m_pos;
    if (atom().compare("NIL", Qt::CaseInsensitive) == 0)
        return QByteArray();
    m_pos = start;
    return std::nullopt;
}

bool ResponseParts::skipValue()
{
    int depth = 0;
    do {
        if (m_pos >= text().size())
            return false;
        const char c = text()[m_pos];
        if (c == '(') {
            ++depth;
            ++m_pos;
        } else if (c == ')') {
            if (depth == 0)
                return false;
            --depth;
            ++m_pos;
        } else if (c == ' ' && depth > 0) {
            ++m_pos;
        } else if (c == '"' || c == '{') {
            if (!string())
                return false;
        } else if (atom(true).isEmpty()) {
            return false;
        }
    } while (depth > 0);
    return true;
}

bool isStatus(QByteArrayView word)
{
    return word == "OK" || word == "NO" || word == "BAD" || word == "PREAUTH" || word == "BYE";
}

StatusLine readStatusLine(ResponseParts& parts)
{
    StatusLine line;
    if (parts.take('+')) {
        line.kind = StatusLine::Kind::Continuation;
        parts.space();
        line.text = parts.rest().toByteArray();
        return line;
    }
    if (parts.take('*')) {
        line.kind = StatusLine::Kind::Untagged;
    } else {
        line.tag = parts.atom().toByteArray();
        if (line.tag.isEmpty())
            return {};
        line.kind = StatusLine::Kind::Tagged;
    }
    if (!parts.space())
        return {};
    if (line.kind == StatusLine::Kind::Untagged) {
        line.number = parts.number();
        if (line.number && !parts.space())
            return {};
    }
    line.word = parts.atom().toByteArray().toUpper();
    if (line.word.isEmpty())
        return {};
    if (line.kind == StatusLine::Kind::Tagged && line.word != "OK" && line.word != "NO"
        && line.word != "BAD")
        return {};
    if (!isStatus(line.word) || line.number) {
        // CAPABILITY, SEARCH, FETCH…: the rest is read by whoever knows the word.
        parts.space();
        return line;
    }
    parts.space();
    if (parts.take('[')) {
        line.code = parts.atom().toByteArray().toUpper();
        const QByteArrayView rest = parts.rest();
        const qsizetype close = rest.indexOf(']');
        if (close < 0)
            return {};
        line.codeText = rest.first(close).trimmed().toByteArray();
        line.text = rest.sliced(close + 1).trimmed().toByteArray();
        return line;
    }
    line.text = parts.rest().toByteArray();
    return line;
}

} // namespace pelmora::imap
