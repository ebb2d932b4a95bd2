#include "pop3/ScanListReader.h"

#include "pop3/DecimalNumber.h"
#include "pop3/Pop3Limits.h"

namespace pelmora::pop3 {

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
    const auto n = parseCount(line.first(space), std::int64_t(m_sizes->size()));
    const auto bytes = parseCount(size, Limits::kMaxTrustedMessageSize);
    if (n && *n >= 1 && bytes)
        (*m_sizes)[std::size_t(*n - 1)] = *bytes;
}

} // namespace pelmora::pop3
