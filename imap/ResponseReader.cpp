#include "imap/ResponseReader.h"

#include "imap/ImapLimits.h"

#include <algorithm>
#include <cstring>

namespace pelmora::imap {

std::optional<Response> ResponseReader::next(QByteArrayView input, qsizetype& pos)
{
    while (pos < input.size() && m_problem == Problem::None) {
        if (m_inLiteral) {
            const auto n = qsizetype(std::min<std::int64_t>(m_literalLeft, input.size() - pos));
            QByteArray& literal = m_response.literals.back();
            const qsizetype room = Limits::kKeptLiteral - literal.size();
            literal.append(input.sliced(pos, std::min(n, room)));
            pos += n;
            m_literalLeft -= n;
            if (m_literalLeft == 0)
                m_inLiteral = false;
            continue;
        }
        const char* start = input.data() + pos;
        const auto* newline =
            static_cast<const char*>(std::memchr(start, '\n', size_t(input.size() - pos)));
        const qsizetype end = newline ? (newline - input.data()) + 1 : input.size();
        const QByteArrayView piece = input.sliced(pos, end - pos);
        if (piece.contains('\0')) {
            m_problem = Problem::Nul;
            break;
        }
        if (m_response.text.size() + piece.size() > Limits::kMaxResponseText + 2) {
            m_problem = Problem::TextTooLong;
            break;
        }
        m_response.text.append(piece);
        pos = end;
        if (!newline)
            break;
        m_response.text.chop(1);
        if (m_response.text.endsWith('\r'))
            m_response.text.chop(1);
        if (lineAnnouncesLiteral()) {
            if (m_problem != Problem::None)
                break;
            continue;
        }
        if (m_problem != Problem::None)
            break;
        return std::exchange(m_response, {});
    }
    return std::nullopt;
}

bool ResponseReader::lineAnnouncesLiteral()
{
    QByteArray& text = m_response.text;
    if (!text.endsWith('}'))
        return false;
    const qsizetype open = text.lastIndexOf('{');
    if (open < 0 || open + 2 > text.size() - 1)
        return false;
    // Read digit by digit, held below a bound far above any limit: a number of any length
    // cannot overflow, and the text can say what was announced.
    constexpr std::int64_t kHeld = std::int64_t(1) << 58;
    std::int64_t size = 0;
    for (qsizetype i = open + 1; i < text.size() - 1; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return false;
        size = std::min(kHeld, size * 10 + (c - '0'));
    }
    m_announced = size;
    if (size > Limits::kMaxLiteral) {
        m_problem = Problem::LiteralTooLarge;
        return true;
    }
    if (int(m_response.literals.size()) >= Limits::kMaxLiteralsPerResponse) {
        m_problem = Problem::TooManyLiterals;
        return true;
    }
    text.append('\n');
    m_response.literals.emplace_back();
    m_literalLeft = size;
    m_inLiteral = size > 0;
    return true;
}

} // namespace pelmora::imap
