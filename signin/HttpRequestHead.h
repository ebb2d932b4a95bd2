#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace pelmora::signin {

// Reads the head of one HTTP/1.x request (the request line and the headers, up to the empty line)
// from bytes as they arrive, in pieces split anywhere. Without I/O. The head may be at most
// kMaxBytes long: a browser's redirect is a few hundred bytes, and anything longer is refused
// before it is kept. The headers are read past, not kept: the redirect carries all it says in
// its target.
class HttpRequestHead {
public:
    static constexpr qsizetype kMaxBytes = 16 * 1024;

    enum class Status : unsigned char {
        Incomplete, // the empty line that ends the head has not come yet
        Complete,   // method() and target() are read; bytes after the head are ignored
        Invalid,    // too long, or the request line is not "METHOD SP target SP HTTP/1.x"
    };

    // Takes the next bytes; answers what is known so far. After Complete or Invalid, further
    // bytes change nothing.
    Status feed(QByteArrayView bytes);

    Status status() const { return m_status; }
    const QByteArray& method() const { return m_method; }
    // The request target as sent, e.g. "/?code=…&state=…".
    const QByteArray& target() const { return m_target; }

private:
    void readRequestLine(QByteArrayView head);

    QByteArray m_head;
    QByteArray m_method;
    QByteArray m_target;
    Status m_status = Status::Incomplete;
};

} // namespace pelmora::signin
