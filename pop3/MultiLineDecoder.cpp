#include "pop3/MultiLineDecoder.h"

#include <cstring>

namespace pelmora::pop3 {

qsizetype MultiLineDecoder::feed(QByteArrayView input, ContentSink& sink)
{
    const char* p = input.data();
    const char* const end = p + input.size();
    while (p < end && m_position != Position::Finished) {
        switch (m_position) {
        case Position::LineStart:
            if (*p == '.') {
                m_position = Position::AfterDot;
                ++p;
            } else {
                m_position = Position::InLine;
            }
            break;
        case Position::AfterDot:
            if (*p == '\r') {
                m_position = Position::AfterDotCr;
                ++p;
            } else {
                // The dot was stuffing; the rest of the line (a lone LF too) is content.
                m_position = Position::InLine;
            }
            break;
        case Position::AfterDotCr:
            if (*p == '\n') {
                m_position = Position::Finished;
                ++p;
            } else {
                // ".\r" and then no LF: not the end, the CR belongs to the line.
                sink.append(QByteArrayView("\r", 1));
                m_position = Position::InLineAfterCr;
            }
            break;
        case Position::InLine:
        case Position::InLineAfterCr: {
            // Lines that do not start with a dot are content as they stand: hand them on together,
            // up to the start of a line that does, or of one whose first byte has not come yet.
            // A line ends at an LF right after a CR, which may have come in the previous piece.
            const bool crBefore = m_position == Position::InLineAfterCr;
            const char* scan = p;
            const char* stop = end;
            Position next = (end[-1] == '\r') ? Position::InLineAfterCr : Position::InLine;
            while (const char* newline =
                       static_cast<const char*>(std::memchr(scan, '\n', size_t(end - scan)))) {
                const bool lineEnd = newline > p ? newline[-1] == '\r' : crBefore;
                if (lineEnd && (newline + 1 == end || newline[1] == '.')) {
                    stop = newline + 1;
                    next = Position::LineStart;
                    break;
                }
                scan = newline + 1;
            }
            sink.append(QByteArrayView(p, stop - p));
            p = stop;
            m_position = next;
            break;
        }
        case Position::Finished:
            break;
        }
    }
    return p - input.data();
}

} // namespace pelmora::pop3
