#include "platform/pop3/Pop3Session.h"

#include "platform/pop3/FailureText.h"
#include "platform/pop3/Pop3Limits.h"

#include <QCryptographicHash>
#include <QList>

#include <algorithm>
#include <limits>

namespace pelmora::platform::pop3 {

namespace {

bool hasLineBreakOrNul(QByteArrayView text)
{
    return text.contains('\r') || text.contains('\n') || text.contains('\0');
}

// A decimal number without sign, or nothing when it is not one or does not fit `max`.
std::optional<std::int64_t> parseCount(QByteArrayView token, std::int64_t max)
{
    if (token.isEmpty() || token.size() > 18)
        return std::nullopt;
    std::int64_t value = 0;
    for (const char c : token) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > max)
        return std::nullopt;
    return value;
}

// The words after "+OK", split at single spaces as RFC 1939 writes them.
QList<QByteArrayView> wordsAfterStatus(QByteArrayView line)
{
    QList<QByteArrayView> words;
    qsizetype pos = line.indexOf(' ');
    while (pos >= 0 && pos < line.size()) {
        const qsizetype start = pos + 1;
        qsizetype end = line.indexOf(' ', start);
        if (end < 0)
            end = line.size();
        if (end > start)
            words.append(line.sliced(start, end - start));
        pos = end;
    }
    return words;
}

QByteArray apopTimestamp(QByteArrayView greeting)
{
    const auto open = greeting.indexOf('<');
    if (open < 0)
        return {};
    const auto close = greeting.indexOf('>', open + 1);
    if (close < 0)
        return {};
    return greeting.sliced(open, close - open + 1).toByteArray();
}

} // namespace

void Session::CapabilityReader::reset()
{
    m_lineStart.clear();
    m_lineCut = false;
    m_lines = 0;
    m_startTls = false;
    m_pipelining = false;
}

void Session::CapabilityReader::append(QByteArrayView bytes)
{
    // Longer than any capability name the session looks for, with room for leading blanks.
    constexpr qsizetype kKeptLineStart = 64;
    while (!bytes.isEmpty()) {
        const qsizetype newline = bytes.indexOf('\n');
        const QByteArrayView piece = newline < 0 ? bytes : bytes.first(newline);
        const qsizetype room = kKeptLineStart - m_lineStart.size();
        m_lineStart.append(piece.first(std::min(room, piece.size())));
        m_lineCut = m_lineCut || piece.size() > room;
        if (newline < 0)
            return;
        endLine();
        bytes = bytes.sliced(newline + 1);
    }
}

void Session::CapabilityReader::endLine()
{
    ++m_lines;
    const auto isBlank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
    };
    QByteArrayView line = m_lineStart;
    while (!line.isEmpty() && isBlank(line.front()))
        line = line.sliced(1);
    qsizetype nameEnd = 0;
    while (nameEnd < line.size() && !isBlank(line[nameEnd]))
        ++nameEnd;
    // A name that runs past the kept start of its line is none of those looked for.
    if (nameEnd < line.size() || !m_lineCut) {
        const QByteArrayView name = line.first(nameEnd);
        if (name.compare("STLS", Qt::CaseInsensitive) == 0)
            m_startTls = true;
        else if (name.compare("PIPELINING", Qt::CaseInsensitive) == 0)
            m_pipelining = true;
    }
    m_lineStart.clear();
    m_lineCut = false;
}

Session::Session(Credentials credentials, bool secure, bool tlsAvailable)
    : m_credentials(std::move(credentials)), m_secure(secure), m_tlsAvailable(tlsAvailable)
{
    // A CR or LF in a user name or password would end our command early and let the rest be
    // read as a command of its own.
    if (hasLineBreakOrNul(m_credentials.user) || hasLineBreakOrNul(m_credentials.password)) {
        fail(failure::lineBreakInCredentials());
        return;
    }
    m_inFlight.push_back({Command::Greeting, 0, {}});
}

// The only place the state changes.
void Session::setState(State next)
{
    m_state = next;
    if (next == State::Failed || next == State::Closed) {
        m_unsent.clear();
        m_inFlight.clear();
        m_content = nullptr;
        m_message.detachBody();
    }
}

void Session::fail(const QString& text)
{
    if (m_state == State::Failed)
        return;
    m_failure = text;
    if (!m_retrieval.done && m_state == State::Transaction) {
        m_retrieval.done = true;
        m_retrieval.ok = false;
        m_retrieval.failure = text;
    }
    setState(State::Failed);
}

void Session::abort(const QString& why)
{
    if (m_state == State::Closed)
        return;
    // The server may close as soon as it has answered QUIT.
    if (m_state == State::Quitting && m_inFlight.empty())
        return setState(State::Closed);
    fail(why);
}

void Session::send(Command command, int number, QByteArray line)
{
    line += "\r\n";
    m_unsent.push_back({command, number, std::move(line)});
    pump();
}

void Session::pump()
{
    const bool pipelined = m_pipelining && m_state == State::Transaction;
    while (!m_unsent.empty() && (m_inFlight.empty() || pipelined)) {
        m_outgoing += m_unsent.front().line;
        m_inFlight.push_back(std::move(m_unsent.front()));
        m_unsent.pop_front();
    }
}

bool Session::isQueued(Command command, int number) const
{
    const auto same = [&](const Pending& p) { return p.command == command && p.number == number; };
    return std::any_of(m_unsent.begin(), m_unsent.end(), same)
        || std::any_of(m_inFlight.begin(), m_inFlight.end(), same);
}

void Session::feed(QByteArrayView input)
{
    qsizetype pos = 0;
    while (pos < input.size()) {
        if (m_state == State::Failed || m_state == State::Closed)
            return;
        if (m_state == State::TlsHandshake)
            return fail(failure::unexpectedDataBeforeTls());
        if (m_inFlight.empty())
            return fail(failure::unsolicitedData());
        if (m_content) {
            pos += m_decoder.feed(input.sliced(pos), *m_content);
            // An endless capability list must not keep the login waiting: it fails, it is never
            // taken as a list without STLS.
            if (m_content == &m_capabilities
                && m_capabilities.lines() > Limits::kMaxCapabilityLines)
                return fail(failure::capabilityListTooLong(Limits::kMaxCapabilityLines));
            if (m_decoder.finished()) {
                m_content = nullptr;
                completeReply(true, std::exchange(m_contentStatus, {}));
            }
            continue;
        }
        const auto newline = input.indexOf('\n', pos);
        const qsizetype end = newline < 0 ? input.size() : newline + 1;
        if (m_statusLine.size() + (end - pos) > Limits::kMaxStatusLine + 2)
            return fail(failure::replyLineTooLong(Limits::kMaxStatusLine));
        m_statusLine.append(input.sliced(pos, end - pos));
        pos = end;
        if (newline < 0)
            return;
        QByteArray line = std::exchange(m_statusLine, {});
        line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        handleStatusLine(line);
    }
}

void Session::handleStatusLine(QByteArrayView line)
{
    if (line.contains('\0'))
        return fail(failure::nulInReply());
    bool ok = false;
    if (line.startsWith("+OK") && (line.size() == 3 || line[3] == ' '))
        ok = true;
    else if (line.startsWith("-ERR") && (line.size() == 4 || line[4] == ' '))
        ok = false;
    else
        return fail(failure::garbledReply(line));

    const Pending& pending = m_inFlight.front();
    const bool multiLine = pending.command == Command::Capa || pending.command == Command::Top
        || pending.command == Command::Retr;
    if (ok && multiLine) {
        m_contentStatus = line.toByteArray();
        m_decoder = {};
        m_content = &contentSinkFor(pending);
        return;
    }
    completeReply(ok, line);
}

ContentSink& Session::contentSinkFor(const Pending& pending)
{
    switch (pending.command) {
    case Command::Top:
        m_top.reset(nullptr);
        return m_top;
    case Command::Retr:
        // The receiver was pointed at the caller's buffer by requestMessage().
        return m_message;
    default:
        m_capabilities.reset();
        return m_capabilities;
    }
}

void Session::completeReply(bool ok, QByteArrayView statusLine)
{
    const Pending pending = std::move(m_inFlight.front());
    m_inFlight.pop_front();
    ++m_repliesCompleted;
    switch (pending.command) {
    case Command::Greeting: onGreeting(ok, statusLine); break;
    case Command::Capa: onCapa(ok); break;
    case Command::Stls: onStls(ok, statusLine); break;
    case Command::User: onUser(ok, statusLine); break;
    case Command::Pass:
    case Command::Apop: onPassOrApop(ok, statusLine); break;
    case Command::Stat: onStat(ok, statusLine); break;
    case Command::Top: onTop(pending.number, ok, statusLine); break;
    case Command::List: onList(pending.number, ok, statusLine); break;
    case Command::Retr: onRetr(ok, statusLine); break;
    case Command::Quit: onQuit(); break;
    }
    pump();
}

void Session::onGreeting(bool ok, QByteArrayView line)
{
    if (!ok)
        return fail(failure::loginRejected(line));
    m_timestamp = apopTimestamp(line);
    setState(State::Capabilities);
    send(Command::Capa, 0, "CAPA");
}

void Session::onCapa(bool ok)
{
    // A server without CAPA (-ERR) has no STLS and no PIPELINING.
    const bool startTls = ok && m_capabilities.startTls();
    m_pipelining = ok && m_capabilities.pipelining();
    if (startTls && !m_secure) {
        // Offered TLS is always taken: never log in in plain text when the server could do better.
        if (!m_tlsAvailable)
            return fail(failure::tlsUnavailable());
        setState(State::StartTls);
        return send(Command::Stls, 0, "STLS");
    }
    beginLogin();
}

void Session::onStls(bool ok, QByteArrayView line)
{
    if (!ok)
        return fail(failure::startTlsRefused(line));
    setState(State::TlsHandshake);
}

void Session::tlsEstablished()
{
    if (m_state != State::TlsHandshake)
        return;
    m_secure = true;
    // What the server said before TLS cannot be trusted (RFC 2595): ask again.
    setState(State::Capabilities);
    send(Command::Capa, 0, "CAPA");
}

void Session::beginLogin()
{
    setState(State::Authorization);
    if (!m_credentials.apop)
        return send(Command::User, 0, "USER " + m_credentials.user);
    if (m_timestamp.isEmpty())
        return fail(failure::apopWithoutTimestamp());
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray(m_timestamp + m_credentials.password),
                                 QCryptographicHash::Md5)
            .toHex();
    send(Command::Apop, 0, "APOP " + m_credentials.user + ' ' + digest);
}

void Session::onUser(bool ok, QByteArrayView line)
{
    if (!ok)
        return fail(failure::loginRejected(line));
    send(Command::Pass, 0, "PASS " + m_credentials.password);
}

void Session::onPassOrApop(bool ok, QByteArrayView line)
{
    if (!ok)
        return fail(failure::loginRejected(line));
    setState(State::Stat);
    send(Command::Stat, 0, "STAT");
}

void Session::onStat(bool ok, QByteArrayView line)
{
    if (!ok)
        return fail(failure::serverRejected(line));
    const auto words = wordsAfterStatus(line);
    const auto count = words.isEmpty()
        ? std::nullopt
        : parseCount(words.front(), std::numeric_limits<std::int32_t>::max());
    if (!count)
        return fail(failure::badMessageCount(line));
    m_messageCount = int(*count);
    setState(State::Transaction);
}

void Session::requestHeader(int number)
{
    if (m_state != State::Transaction || m_headers.contains(number)
        || isQueued(Command::Top, number))
        return;
    send(Command::Top, number, "TOP " + QByteArray::number(number) + " 0");
    // Its size is asked for next; with pipelining that costs no extra round trip.
    if (m_pipelining)
        requestSize(number);
}

std::optional<Answer<QByteArray>> Session::takeHeader(int number)
{
    const auto it = m_headers.find(number);
    if (it == m_headers.end())
        return std::nullopt;
    auto answer = std::move(it->second);
    m_headers.erase(it);
    return answer;
}

void Session::requestSize(int number)
{
    if (m_state != State::Transaction || m_sizes.contains(number)
        || isQueued(Command::List, number))
        return;
    send(Command::List, number, "LIST " + QByteArray::number(number));
}

std::optional<Answer<std::int64_t>> Session::takeSize(int number)
{
    const auto it = m_sizes.find(number);
    if (it == m_sizes.end())
        return std::nullopt;
    auto answer = std::move(it->second);
    m_sizes.erase(it);
    return answer;
}

void Session::requestMessage(int number, std::string* body)
{
    if (m_state != State::Transaction)
        return;
    // Answers fetched ahead for messages the caller has moved past are of no further use.
    std::erase_if(m_headers, [&](const auto& entry) { return entry.first < number; });
    std::erase_if(m_sizes, [&](const auto& entry) { return entry.first < number; });
    m_retrieval = {};
    m_message.reset(body);
    send(Command::Retr, number, "RETR " + QByteArray::number(number));
    if (m_pipelining && number < m_messageCount)
        requestHeader(number + 1);
}

void Session::requestQuit()
{
    if (m_state == State::Failed || m_state == State::Closed || m_state == State::Quitting)
        return;
    setState(State::Quitting);
    send(Command::Quit, 0, "QUIT");
}

void Session::onTop(int number, bool ok, QByteArrayView line)
{
    if (ok)
        m_headers[number] = {true, m_top.takeHeader(), {}};
    else
        m_headers[number] = {false, {}, failure::serverRejected(line)};
}

void Session::onList(int number, bool ok, QByteArrayView line)
{
    if (!ok) {
        m_sizes[number] = {false, 0, failure::serverRejected(line)};
        return;
    }
    // "+OK n size": the number must be the one asked for and the size one we can allocate.
    const auto words = wordsAfterStatus(line);
    const auto echoed = words.size() >= 2 ? parseCount(words[0], std::numeric_limits<int>::max())
                                          : std::nullopt;
    const auto size = words.size() >= 2 ? parseCount(words[1], Limits::kMaxTrustedMessageSize)
                                        : std::nullopt;
    if (!echoed || *echoed != number || !size)
        m_sizes[number] = {false, 0, failure::untrustedSize(number, line)};
    else
        m_sizes[number] = {true, *size, {}};
}

void Session::onRetr(bool ok, QByteArrayView line)
{
    m_retrieval.done = true;
    m_retrieval.ok = ok;
    if (ok) {
        m_message.finish();
        m_retrieval.header = m_message.takeHeader();
        m_retrieval.size = m_message.totalBytes();
    } else {
        m_retrieval.failure = failure::serverRejected(line);
    }
    m_message.detachBody();
}

void Session::onQuit() { setState(State::Closed); }

} // namespace pelmora::platform::pop3
