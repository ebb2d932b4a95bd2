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
            } else if (*p == '\n') {
                m_position = Position::Finished;
                ++p;
            } else {
                // The dot was stuffing; the rest of the line is content.
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
                m_position = Position::InLine;
            }
            break;
        case Position::InLine: {
            // Lines that do not start with a dot are content as they stand: hand them on together,
            // up to the start of a line that does, or of one whose first byte has not come yet.
            const char* scan = p;
            const char* newline = nullptr;
            while ((newline = static_cast<const char*>(std::memchr(scan, '\n', size_t(end - scan))))
                   && newline + 1 < end && newline[1] != '.')
                scan = newline + 1;
            const char* const stop = newline ? newline + 1 : end;
            sink.append(QByteArrayView(p, stop - p));
            p = stop;
            if (newline)
                m_position = Position::LineStart;
            break;
        }
        case Position::Finished:
            break;
        }
    }
    return p - input.data();
}

} // namespace pelmora::pop3
