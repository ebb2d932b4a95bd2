#include "pop3/MessageIdReader.h"

#include "pop3/DecimalNumber.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace pelmora::pop3 {

void MessageIdReader::reset(int count)
{
    *this = MessageIdReader();
    m_count = std::max(0, count);
}

void MessageIdReader::append(QByteArrayView bytes)
{
    qsizetype i = 0;
    while (i < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', i);
        const qsizetype end = newline < 0 ? bytes.size() : newline;
        // A broken list is only read to its end: its lines are not even looked at.
        if (!m_broken) {
            const qsizetype room = qsizetype(sizeof m_line) - m_lineSize;
            const qsizetype piece = end - i;
            if (piece > room)
                m_lineTooLong = true;
            std::copy_n(bytes.data() + i, std::min(piece, room), m_line + m_lineSize);
            m_lineSize += std::min(piece, room);
        }
        if (newline < 0)
            return;
        endLine();
        i = newline + 1;
    }
}

void MessageIdReader::endLine()
{
    QByteArrayView line(m_line, m_lineSize);
    const bool tooLong = m_lineTooLong;
    m_lineSize = 0;
    m_lineTooLong = false;
    if (m_broken)
        return;
    if (line.endsWith('\r'))
        line.chop(1);
    const qsizetype space = line.indexOf(' ');
    if (tooLong || space < 0 || m_ids.size() >= m_count)
        return breakList();
    const auto number = parseCount(line.first(space), m_count);
    const QByteArrayView id = line.sliced(space + 1);
    const bool printable =
        std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x21 && c <= 0x7e; });
    if (number != m_ids.size() + 1 || id.isEmpty() || id.size() > kMaxIdBytes || !printable)
        return breakList();
    m_ids.append(id.toByteArray());
}

void MessageIdReader::breakList()
{
    m_broken = true;
    m_ids = {};
}

std::optional<QList<QByteArray>> MessageIdReader::take()
{
    if (m_broken || m_lineSize > 0 || m_ids.size() != m_count)
        return std::nullopt;
    // The same id twice: sorted, equal ids are neighbours.
    std::vector<qsizetype> order(std::size_t(m_ids.size()));
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [this](qsizetype a, qsizetype b) { return m_ids[a] < m_ids[b]; });
    for (std::size_t i = 1; i < order.size(); ++i)
        if (m_ids[order[i - 1]] == m_ids[order[i]])
            return std::nullopt;
    return std::exchange(m_ids, {});
}

} // namespace pelmora::pop3
