#pragma once

#include <QByteArrayView>

#include <cstdint>

namespace pelmora::pop3 {

// Receives the content of a multi-line reply, already dot-unstuffed, in pieces of any size.
class ContentSink {
public:
    virtual ~ContentSink() = default;
    virtual void append(QByteArrayView bytes) = 0;
};

// Reads the body of a multi-line reply (RFC 1939 section 3): removes the stuffed dot from lines
// that start with "..", and stops right after the terminating "." line. Keeps no bytes of its own
// between calls, only where in a line it is, so any split of the input gives the same content and
// memory stays constant however long a line or the reply is. Only CR LF ends a line, and only
// CR LF "." CR LF ends the reply: a lone LF is data, so a message holding LF "." CR LF (which a
// server that looks only for CR LF does not dot-stuff) is read whole instead of ending early.
class MultiLineDecoder {
public:
    // Hands content to `sink` and answers how many bytes of `input` it used; fewer than all only
    // when the terminating line ended inside `input`.
    qsizetype feed(QByteArrayView input, ContentSink& sink);
    bool finished() const { return m_position == Position::Finished; }

private:
    enum class Position : std::uint8_t {
        LineStart, AfterDot, AfterDotCr, InLine, InLineAfterCr, Finished
    };
    Position m_position = Position::LineStart;
};

} // namespace pelmora::pop3
