#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>
#include <vector>

namespace pelmora::imap {

// One response as it came: its text outside literals (CRLF or bare LF removed at each line's end;
// a literal's "{n}" stays in the text, followed by '\n' where its bytes were) and the literals'
// bytes, in order, each cut at Limits::kKeptLiteral.
struct Response {
    QByteArray text;
    std::vector<QByteArray> literals;
};

// Splits the server's bytes into responses, as they come in pieces of any size. Linear in the
// bytes; every bound is checked before the bytes it concerns are kept: a literal's size when it is
// announced, the text as it grows.
class ResponseReader {
public:
    enum class Problem : std::uint8_t {
        None,
        TextTooLong,     // the text of a response passed Limits::kMaxResponseText
        LiteralTooLarge, // a literal announced more than Limits::kMaxLiteral
        TooManyLiterals, // more than Limits::kMaxLiteralsPerResponse in one response
        Nul,             // a NUL byte outside a literal
    };

    // Reads from `input` at `pos` up to the end of the next complete response, which it answers,
    // leaving `pos` just after it; or reads everything and answers nothing. After a problem,
    // answers nothing ever again.
    std::optional<Response> next(QByteArrayView input, qsizetype& pos);

    Problem problem() const { return m_problem; }
    // The size the last literal announced (for the text of LiteralTooLarge).
    std::int64_t announcedLiteral() const { return m_announced; }
    // Whether part of a response has been read.
    bool midResponse() const { return !m_response.text.isEmpty() || m_literalLeft > 0; }

private:
    // The line just ended; answers whether a literal follows it.
    bool lineAnnouncesLiteral();

    Response m_response;
    std::int64_t m_literalLeft = 0; // bytes of the current literal still to come
    bool m_inLiteral = false;
    std::int64_t m_announced = 0;
    Problem m_problem = Problem::None;
};

} // namespace pelmora::imap
