#include "pop3/ScanListReader.h"

#include "pop3/Pop3Limits.h"

#include <optional>

namespace pelmora::pop3 {

namespace {

// Digits only, at most `max`.
std::optional<std::int64_t> number(QByteArrayView digits, std::int64_t max)
{
    if (digits.isEmpty() || digits.size() > 18)
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value <= max ? std::optional(value) : std::nullopt;
}

} // namespace

void ScanListReader::reset(std::vector<std::int64_t>* sizes)
{
    m_sizes = sizes;
    m_lineSize = 0;
    m_lineCut = false;
}

void ScanListReader::append(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (c == '\n') {
            endLine();
        } else if (m_lineSize < kKeptLine) {
            m_line[m_lineSize++] = c;
        } else {
            m_lineCut = true;
        }
    }
}

void ScanListReader::endLine()
{
    QByteArrayView line(m_line, m_lineSize);
    const bool cut = m_lineCut;
    m_lineSize = 0;
    m_lineCut = false;
    if (line.endsWith('\r'))
        line.chop(1);
    const qsizetype space = line.indexOf(' ');
    if (m_sizes == nullptr || space < 0)
        return;
    // "n size", perhaps followed by more words; a line cut short of its size's end is no answer.
    QByteArrayView size = line.sliced(space + 1);
    const qsizetype end = size.indexOf(' ');
    if (end >= 0)
        size = size.first(end);
    else if (cut)
        return;
    const auto n = number(line.first(space), std::int64_t(m_sizes->size()));
    const auto bytes = number(size, Limits::kMaxTrustedMessageSize);
    if (n && *n >= 1 && bytes)
        (*m_sizes)[std::size_t(*n - 1)] = *bytes;
}

} // namespace pelmora::pop3
