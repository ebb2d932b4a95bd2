#include "pop3/Pop3Session.h"

#include "pop3/DecimalNumber.h"
#include "pop3/FailureText.h"
#include "pop3/Pop3Limits.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>
#include <vector>

namespace pelmora::pop3 {

namespace {

bool hasLineBreakOrNul(QByteArrayView text)
{
    return text.contains('\r') || text.contains('\n') || text.contains('\0');
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

// The "status" of the JSON a server sends as its challenge when it refuses a token (RFC 7628 3.2.2;
// XOAUTH2 sends the same), or nothing when the challenge is not such JSON.
QByteArray statusOfTokenChallenge(QByteArrayView line)
{
    const QByteArray encoded = line.sliced(std::min<qsizetype>(1, line.size())).toByteArray();
    const auto decoded = QByteArray::fromBase64Encoding(encoded.trimmed(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return {};
    const QJsonValue status = QJsonDocument::fromJson(*decoded).object().value(u"status");
    if (status.isString())
        return status.toString().toUtf8();
    if (status.isDouble())
        return QByteArray::number(status.toInteger());
    return {};
}

// A user name as RFC 5801's saslname: "=" and "," written as =3D and =2C.
QByteArray saslName(const QByteArray& user)
{
    QByteArray name = user;
    return name.replace('=', "=3D").replace(',', "=2C");
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

ReadAhead bounded(ReadAhead readAhead)
{
    readAhead.messages = std::max(0, readAhead.messages);
    readAhead.headerBytes = std::max<std::int64_t>(0, readAhead.headerBytes);
    readAhead.commandBytes = std::max<qsizetype>(0, readAhead.commandBytes);
    return readAhead;
}

} // namespace

Session::Session(Credentials credentials, bool secure, bool tlsAvailable, ReadAhead readAhead)
    : m_credentials(std::move(credentials)), m_secure(secure), m_tlsAvailable(tlsAvailable),
      m_readAhead(bounded(readAhead)), m_headers(m_readAhead)
{
    // A CR or LF in a user name or password would end our command early and let the rest be
    // read as a command of its own.
    if (hasLineBreakOrNul(m_credentials.user) || hasLineBreakOrNul(m_credentials.password)) {
        fail(failure::lineBreakInCredentials());
        return;
    }
    // In a token's initial response ^A separates the fields: one in the name or the token would
    // start a field of its own.
    if (m_credentials.method == LoginMethod::BearerToken
        && (m_credentials.user.contains('\x01') || m_credentials.password.contains('\x01'))) {
        fail(failure::controlCharacterInToken());
        return;
    }
    m_inFlight.push_back({Command::Greeting, 0, 0, {}});
}

// The only place the state changes.
void Session::setState(State next)
{
    m_state = next;
    if (next == State::Failed || next == State::Closed) {
        m_unsent.clear();
        m_inFlight.clear();
        m_inFlightBytes = 0;
        m_content = nullptr;
        // After a failure the answers read completely are still there to take.
        if (next == State::Closed)
            m_headers.clear();
    }
}

void Session::fail(const QString& text)
{
    if (m_state == State::Failed)
        return;
    m_failure = text;
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

std::uint64_t Session::send(Command command, int number, QByteArray line)
{
    line += "\r\n";
    const std::uint64_t ticket = ++m_lastTicket;
    m_unsent.push_back({command, number, ticket, std::move(line)});
    pump();
    return ticket;
}

void Session::pump()
{
    // QUIT may follow requests still in flight: their replies come first and are thrown away.
    const bool pipelined = m_pipelining
        && (m_state == State::Authorization || m_state == State::Stat
            || m_state == State::Transaction || m_state == State::Quitting);
    // Commands beyond ReadAhead::commandBytes wait for replies to those before them.
    while (!m_unsent.empty()
           && (m_inFlight.empty()
               || (pipelined
                   && m_inFlightBytes + m_unsent.front().line.size()
                       <= m_readAhead.commandBytes))) {
        m_outgoing += m_unsent.front().line;
        m_inFlightBytes += m_unsent.front().line.size();
        m_inFlight.push_back(std::move(m_unsent.front()));
        m_unsent.pop_front();
    }
}

qsizetype Session::feed(QByteArrayView input)
{
    qsizetype pos = 0;
    while (pos < input.size()) {
        if (m_state == State::Failed || m_state == State::Closed)
            return input.size();
        if (m_state == State::TlsHandshake) {
            fail(failure::unexpectedDataBeforeTls());
            return input.size();
        }
        if (m_inFlight.empty()) {
            fail(failure::unsolicitedData());
            return input.size();
        }
        if (!m_content && m_statusLine.isEmpty() && readingPaused())
            return pos;
        if (m_content) {
            const qsizetype used = m_decoder.feed(input.sliced(pos), *m_content);
            pos += used;
            m_contentBytes += used;
            if (m_contentBytes > m_contentLimit) {
                fail(failure::replyTooLong(m_contentLimit));
                return input.size();
            }
            // An endless capability list must not keep the login waiting: it fails, it is never
            // taken as a list without STLS.
            if (m_content == &m_capabilities
                && m_capabilities.lines() > Limits::kMaxCapabilityLines) {
                fail(failure::capabilityListTooLong(Limits::kMaxCapabilityLines));
                return input.size();
            }
            if (m_decoder.finished()) {
                m_content = nullptr;
                completeReply(true, std::exchange(m_contentStatus, {}));
            }
            continue;
        }
        const auto newline = input.indexOf('\n', pos);
        const qsizetype end = newline < 0 ? input.size() : newline + 1;
        if (m_statusLine.size() + (end - pos) > Limits::kMaxStatusLine + 2) {
            fail(failure::replyLineTooLong(Limits::kMaxStatusLine));
            return input.size();
        }
        m_statusLine.append(input.sliced(pos, end - pos));
        pos = end;
        if (newline < 0)
            break;
        QByteArray line = std::exchange(m_statusLine, {});
        line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        handleStatusLine(line);
    }
    return input.size();
}

bool Session::readingPaused() const
{
    if (m_content || !m_statusLine.isEmpty())
        return false;
    return nextHeaderOverBound() && !callerWaits();
}

bool Session::nextHeaderOverBound() const
{
    if (m_state != State::Transaction || m_inFlight.empty() || !m_headers.full())
        return false;
    const Pending& next = m_inFlight.front();
    return next.command == Command::Top && next.number != m_headers.position()
        && m_headers.wanted(next.number, next.ticket);
}

bool Session::callerWaits() const
{
    return m_state != State::Transaction || m_idsAsked
        || m_headers.phase(m_headers.position()) == HeadersAhead::Phase::Asked;
}

void Session::handleStatusLine(QByteArrayView line)
{
    if (line.contains('\0'))
        return fail(failure::nulInReply());
    const Pending& pending = m_inFlight.front();
    // A SASL continuation: the server waits for (or refuses) what AUTH sends next.
    if ((line == "+" || line.startsWith("+ "))
        && (pending.command == Command::Auth || pending.command == Command::AuthResponse))
        return completeReply(false, line, true);
    bool ok = false;
    if (line.startsWith("+OK") && (line.size() == 3 || line[3] == ' '))
        ok = true;
    else if (line.startsWith("-ERR") && (line.size() == 4 || line[4] == ' '))
        ok = false;
    else
        return fail(failure::garbledReply(line));

    const bool multiLine = pending.command == Command::Capa || pending.command == Command::Top
        || pending.command == Command::Uidl;
    if (ok && multiLine) {
        m_contentStatus = line.toByteArray();
        m_decoder = {};
        m_contentBytes = 0;
        m_contentLimit = contentLimit(pending);
        m_content = &contentSinkFor(pending);
        return;
    }
    completeReply(ok, line);
}

ContentSink& Session::contentSinkFor(const Pending& pending)
{
    switch (pending.command) {
    case Command::Top:
        m_top.reset();
        return m_top;
    case Command::Uidl:
        m_uidl.reset(m_messageCount);
        return m_uidl;
    default:
        m_capabilities.reset();
        return m_capabilities;
    }
}

std::int64_t Session::contentLimit(const Pending& pending) const
{
    switch (pending.command) {
    case Command::Top: return Limits::kMaxHeaderReplyBytes;
    // Room for every message's line, however the server spaces it; a longer list is endless.
    case Command::Uidl: return (std::int64_t(m_messageCount) + 1) * Limits::kMaxIdLineBytes;
    default: return Limits::kMaxReplyBytes;
    }
}

void Session::completeReply(bool ok, QByteArrayView statusLine, bool continuation)
{
    const Pending pending = std::move(m_inFlight.front());
    m_inFlight.pop_front();
    m_inFlightBytes -= pending.line.size();
    ++m_repliesCompleted;
    switch (pending.command) {
    case Command::Greeting: onGreeting(ok, statusLine); break;
    case Command::Capa: onCapa(ok); break;
    case Command::Stls: onStls(ok, statusLine); break;
    case Command::User: onUser(ok, statusLine); break;
    case Command::Pass:
    case Command::Apop: onPassOrApop(ok, statusLine); break;
    case Command::Auth: onAuth(continuation, statusLine); break;
    case Command::AuthResponse: onAuthResponse(ok, continuation, statusLine); break;
    case Command::AuthAbort: onAuthAbort(statusLine); break;
    case Command::Stat: onStat(ok, statusLine); break;
    case Command::Top: onTop(pending, ok, statusLine); break;
    case Command::Uidl: onUidl(ok, statusLine); break;
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
    // A server without CAPA (-ERR) has no STLS, no PIPELINING and no SASL; nor does one whose
    // second CAPA, after STLS, failed: what it said before TLS does not count.
    if (!ok)
        m_capabilities.reset();
    const bool startTls = ok && m_capabilities.startTls();
    m_pipelining = ok && m_capabilities.pipelining();
    // A server that cannot list its capabilities may still know TOP; one that lists them without
    // TOP is not asked for headers.
    m_headersOffered = !ok || m_capabilities.top();
    m_idsOffered = !ok || m_capabilities.uidl();
    if (!m_secure && !startTls) {
        if (m_tlsRequirement == TlsRequirement::OfferedBefore)
            return fail(failure::startTlsNoLongerOffered());
        if (m_tlsRequirement == TlsRequirement::AskedFor)
            return fail(failure::startTlsNotOffered());
    }
    if (startTls && !m_secure) {
        m_startTlsOffered = true;
        // Offered TLS is always taken: never log in in plain text when the server could do better.
        if (!m_tlsAvailable)
            return fail(failure::tlsUnavailable());
        setState(State::StartTls);
        send(Command::Stls, 0, "STLS");
        return;
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

// With PIPELINING, USER and PASS go out together: one round trip less. Nothing follows PASS or
// APOP until its reply has come, whatever the server claims: some servers (Courier) hand the
// connection to another process after PASS and lose whatever came with it. The first refusal
// ends the login with the server's words.
void Session::beginLogin()
{
    setState(State::Authorization);
    if (m_credentials.method == LoginMethod::BearerToken) {
        beginTokenLogin();
    } else if (m_credentials.method == LoginMethod::UserPass) {
        send(Command::User, 0, "USER " + m_credentials.user);
        if (m_pipelining && m_passwordWithUser)
            send(Command::Pass, 0, "PASS " + m_credentials.password);
    } else {
        if (m_timestamp.isEmpty())
            return fail(failure::apopWithoutTimestamp());
        const QByteArray digest =
            QCryptographicHash::hash(QByteArray(m_timestamp + m_credentials.password),
                                     QCryptographicHash::Md5)
                .toHex();
        send(Command::Apop, 0, "APOP " + m_credentials.user + ' ' + digest);
    }
}

// A token goes only over TLS and only in AUTH's second step: AUTH <mechanism> alone, then the
// initial response after the server's "+". Microsoft's servers want it so; Dovecot and Google take
// it too, and so nothing of the token is ever sent before the server said it can take it.
void Session::beginTokenLogin()
{
    if (!m_secure)
        return fail(failure::tokenNeedsTls());
    m_oauthBearer = m_capabilities.oauthBearer();
    if (!m_oauthBearer && !m_capabilities.xoauth2())
        return fail(failure::tokenNotAccepted());
    send(Command::Auth, 0, m_oauthBearer ? "AUTH OAUTHBEARER" : "AUTH XOAUTH2");
}

// OAUTHBEARER (RFC 7628) or XOAUTH2 (Google's, which Microsoft and Dovecot also take), base64.
QByteArray Session::tokenResponse() const
{
    const QByteArray auth = "auth=Bearer " + m_credentials.password + "\x01\x01";
    if (!m_oauthBearer)
        return QByteArray("user=" + m_credentials.user + '\x01' + auth).toBase64();
    QByteArray response = "n,a=" + saslName(m_credentials.user) + ",\x01";
    if (!m_host.isEmpty())
        response += "host=" + m_host + "\x01port=" + QByteArray::number(m_port) + '\x01';
    return QByteArray(response + auth).toBase64();
}

void Session::onAuth(bool continuation, QByteArrayView line)
{
    // The server refused the mechanism itself (or, oddly, accepted a login it has no token for):
    // nothing of the token was sent, so nothing refused it.
    if (!continuation)
        return fail(failure::loginRejected(line));
    send(Command::AuthResponse, 0, tokenResponse());
}

void Session::onAuthResponse(bool ok, bool continuation, QByteArrayView line)
{
    if (continuation) {
        // The token was refused; the server says why in JSON and waits for the exchange to end:
        // an empty response (XOAUTH2), or ^A (OAUTHBEARER, RFC 7628 3.2.3). Its -ERR follows.
        m_tokenStatus = statusOfTokenChallenge(line);
        send(Command::AuthAbort, 0, m_oauthBearer ? "AQ==" : "");
        return;
    }
    if (!ok) {
        m_tokenRefused = true;
        return fail(failure::tokenRefused(line, {}));
    }
    onPassOrApop(true, line);
}

void Session::onAuthAbort(QByteArrayView line)
{
    m_tokenRefused = true;
    fail(failure::tokenRefused(line, m_tokenStatus));
}

void Session::onUser(bool ok, QByteArrayView line)
{
    if (!ok)
        return fail(failure::loginRejected(line));
    if (!m_pipelining || !m_passwordWithUser)
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
    m_loggedIn = true;
    setState(State::Transaction);
}

// --- Requests and reading ahead -------------------------------------------------------------

void Session::askTop(int number)
{
    m_headers.asked(number, send(Command::Top, number, "TOP " + QByteArray::number(number) + " 0"));
}

// Asks for the headers of the messages after the caller's, as far as they are due.
void Session::readAhead()
{
    if (!m_pipelining || !m_headersOffered || m_state != State::Transaction)
        return;
    const auto [first, last] = m_headers.nextToAsk(m_messageCount);
    for (std::int64_t number = first; number <= last; ++number) {
        if (m_headers.phase(int(number)) == HeadersAhead::Phase::NotAsked)
            askTop(int(number));
    }
}

// The server refused a TOP: no more are asked for, and those not sent yet are taken back.
void Session::stopAskingForHeaders()
{
    m_headersOffered = false;
    std::erase_if(m_unsent, [this](const Pending& pending) {
        if (pending.command != Command::Top)
            return false;
        if (m_headers.wanted(pending.number, pending.ticket))
            m_headers.unasked(pending.number);
        return true;
    });
}

void Session::requestHeader(int number)
{
    if (m_state != State::Transaction)
        return;
    m_headers.moveTo(number);
    const auto phase = m_headers.phase(number);
    if (phase == HeadersAhead::Phase::NotAsked || phase == HeadersAhead::Phase::Used) {
        if (m_headersOffered)
            askTop(number);
        else
            m_headers.answer(number, {false, {}, failure::headersNotOffered()});
    }
    readAhead();
}

std::optional<Answer<QByteArray>> Session::takeHeader(int number)
{
    return m_headers.take(number);
}

void Session::requestQuit()
{
    if (m_state == State::Failed || m_state == State::Closed || m_state == State::Quitting)
        return;
    m_headers.clear();
    // Requests not yet sent are of no use any more.
    std::erase_if(m_unsent, [](const Pending& pending) { return pending.command == Command::Top; });
    setState(State::Quitting);
    send(Command::Quit, 0, "QUIT");
}

void Session::onTop(const Pending& pending, bool ok, QByteArrayView line)
{
    QByteArray header = m_top.takeHeader();
    const bool wanted = m_headers.wanted(pending.number, pending.ticket);
    if (!ok)
        stopAskingForHeaders();
    if (!wanted)
        return;
    if (ok)
        m_headers.answer(pending.number, {true, std::move(header), {}});
    else
        m_headers.answer(pending.number, {false, {}, failure::serverRejected(line)});
}

void Session::requestMessageIds()
{
    if (m_state != State::Transaction || m_idsAsked)
        return;
    m_ids.reset();
    if (!m_idsOffered) {
        m_ids = {false, {}, failure::messageIdsNotOffered()};
        return;
    }
    // More ids than this are more than the caller can keep (and no real mailbox has them).
    if (m_messageCount > Limits::kMaxMessageIds) {
        m_ids = {false, {}, failure::tooManyMessageIds(Limits::kMaxMessageIds)};
        return;
    }
    m_idsAsked = true;
    send(Command::Uidl, 0, "UIDL");
}

std::optional<Answer<QList<QByteArray>>> Session::takeMessageIds() { return std::exchange(m_ids, {}); }

void Session::onUidl(bool ok, QByteArrayView line)
{
    m_idsAsked = false;
    if (!ok) {
        m_idsOffered = false;
        m_ids = {false, {}, failure::serverRejected(line)};
        return;
    }
    if (auto ids = m_uidl.take())
        m_ids = {true, std::move(*ids), {}};
    else
        m_ids = {false, {}, failure::messageIdsNotUsable()};
}

void Session::onQuit() { setState(State::Closed); }

} // namespace pelmora::pop3
