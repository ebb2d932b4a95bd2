#pragma once

#include "imap/ResponseReader.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>

namespace pelmora::imap {

// Reads the parts of one response from left to right: atoms, numbers, strings (quoted or
// literal), parenthesized lists skipped whole. Every step moves forward, so reading a response
// is linear in its size; lists are skipped by counting their depth, not by recursion.
class ResponseParts {
public:
    explicit ResponseParts(const Response& response) : m_response(response) {}

    bool atEnd() const { return m_pos >= text().size(); }
    // Takes one space; answers whether there was one.
    bool space();
    // Takes `c` when it is next.
    bool take(char c);
    // An atom: the bytes up to a space, a parenthesis, a bracket, a brace or a quote. With
    // `withSection`, a "[…]" part and a "<…>" part right after it belong to it (BODY[HEADER]).
    QByteArrayView atom(bool withSection = false);
    // An unsigned 32-bit number (IMAP's nz-number and number).
    std::optional<std::uint32_t> number();
    // A quoted string, a literal or NIL (answered empty); nothing when none is next.
    std::optional<QByteArray> string();
    // Skips one value: an atom, a string or a parenthesized list with everything inside.
    bool skipValue();
    // The rest of the text from here.
    QByteArrayView rest() const { return text().sliced(std::min(m_pos, text().size())); }

private:
    QByteArrayView text() const { return m_response.text; }
    std::optional<QByteArray> literal();

    const Response& m_response;
    qsizetype m_pos = 0;
    std::size_t m_nextLiteral = 0;
};

// A response's kind and, for a status response, what follows its status word.
struct StatusLine {
    enum class Kind : std::uint8_t { Untagged, Tagged, Continuation, Garbled };
    Kind kind = Kind::Garbled;
    QByteArray tag;       // of a tagged response
    QByteArray word;      // the first word after the tag or "*", upper case (OK, BYE, CAPABILITY…),
                          // or, after a number ("* 3 FETCH"), the word after it
    std::optional<std::uint32_t> number; // that number
    QByteArray code;      // the response code's atom ("CAPABILITY", "UIDVALIDITY"…), upper case
    QByteArray codeText;  // what follows it inside the brackets
    QByteArray text;      // the human-readable text after the code; a continuation's after "+ "
};

// Reads the beginning of a response from `parts`. For a response that is not a status (CAPABILITY,
// SEARCH, FETCH…), `parts` is left after its word and the space that follows, for the rest.
StatusLine readStatusLine(ResponseParts& parts);

// Whether `word` is a status a response code may follow (OK, NO, BAD, PREAUTH, BYE).
bool isStatus(QByteArrayView word);

} // namespace pelmora::imap
