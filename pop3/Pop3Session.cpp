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

} // namespace

void Session::CapabilityReader::reset()
{
    m_wordSize = 0;
    m_wordCut = false;
    m_wordIndex = 0;
    m_saslLine = false;
    m_lines = 0;
    m_startTls = false;
    m_pipelining = false;
    m_oauthBearer = false;
    m_xoauth2 = false;
}

void Session::CapabilityReader::append(QByteArrayView bytes)
{
    const auto isBlank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
    };
    qsizetype i = 0;
    while (i < bytes.size()) {
        // Past a line's name only the words of SASL matter: the rest of the line is skipped.
        if (m_wordIndex > 0 && !m_saslLine) {
            const qsizetype newline = bytes.indexOf('\n', i);
            if (newline < 0)
                return;
            i = newline;
        }
        const char c = bytes[i++];
        if (c == '\n') {
            endWord();
            endLine();
        } else if (isBlank(c)) {
            endWord();
        } else if (m_wordSize < kKeptWord) {
            m_word[m_wordSize++] = c;
        } else {
            m_wordCut = true;
        }
    }
}

void Session::CapabilityReader::endWord()
{
    if (m_wordSize == 0)
        return; // blanks before or between words
    const auto is = [this](QByteArrayView name) {
        return !m_wordCut
            && QByteArrayView(m_word, m_wordSize).compare(name, Qt::CaseInsensitive) == 0;
    };
    if (m_wordIndex == 0) {
        if (is("STLS"))
            m_startTls = true;
        else if (is("PIPELINING"))
            m_pipelining = true;
        m_saslLine = is("SASL");
    } else if (m_saslLine) {
        if (is("OAUTHBEARER"))
            m_oauthBearer = true;
        else if (is("XOAUTH2"))
            m_xoauth2 = true;
    }
    ++m_wordIndex;
    m_wordSize = 0;
    m_wordCut = false;
}

void Session::CapabilityReader::endLine()
{
    ++m_lines;
    m_wordIndex = 0;
    m_saslLine = false;
}

Session::Session(Credentials credentials, bool secure, bool tlsAvailable, ReadAhead readAhead)
    : m_credentials(std::move(credentials)), m_secure(secure), m_tlsAvailable(tlsAvailable),
      m_readAhead(readAhead)
{
    m_readAhead.messages = std::max(0, m_readAhead.messages);
    m_readAhead.bytes = std::max<std::int64_t>(0, m_readAhead.bytes);
    m_readAhead.headerBytes = std::max<std::int64_t>(0, m_readAhead.headerBytes);
    m_readAhead.commandBytes = std::max<qsizetype>(0, m_readAhead.commandBytes);
    m_readAhead.flightBytes = std::max<std::int64_t>(0, m_readAhead.flightBytes);
    m_window = std::clamp<std::int64_t>(m_readAhead.firstBytes, 0, m_readAhead.flightBytes);
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
        m_message.detachBody();
        if (next == State::Closed)
            dropAll();
        else
            forgetUnanswered();
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
        if (!m_content && m_statusLine.isEmpty() && !makeRoomForNextBody())
            return pos;
        if (m_content) {
            const qsizetype used = m_decoder.feed(input.sliced(pos), *m_content);
            pos += used;
            m_contentBytes += used;
            if (m_contentBytes > Limits::kMaxReplyBytes) {
                fail(failure::replyTooLong(Limits::kMaxReplyBytes));
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

// Before the next reply begins: when it is a body to be kept that does not fit the bytes kept,
// either reading pauses (answers false) or, while the caller waits for a later reply, the body is
// given up: it is read and thrown away, and fetched again when the caller wants it.
bool Session::makeRoomForNextBody()
{
    if (!nextBodyOverBound())
        return true;
    if (!callerWaits())
        return false;
    const int number = m_inFlight.front().number;
    Message& message = m_messages.find(number)->second;
    release(message);
    message.retr = Phase::Used;
    headerWithoutBody(number, message);
    return true;
}

bool Session::readingPaused() const
{
    if (m_content || !m_statusLine.isEmpty())
        return false;
    return nextBodyOverBound() && !callerWaits();
}

const Session::Message* Session::nextBodyOverBound() const
{
    const Message* next = nextBodyToKeep();
    return next && m_bytesKept + next->reserved > m_readAhead.bytes ? next : nullptr;
}

// The message whose body is the next reply, when that body is read ahead for nobody waiting yet.
const Session::Message* Session::nextBodyToKeep() const
{
    if (m_state != State::Transaction || m_inFlight.empty())
        return nullptr;
    const Pending& next = m_inFlight.front();
    if (next.command != Command::Retr || next.ticket == m_directTicket)
        return nullptr;
    const auto it = m_messages.find(next.number);
    if (it == m_messages.end() || it->second.retr != Phase::Asked
        || it->second.retrTicket != next.ticket)
        return nullptr;
    if (m_waitingForReadAhead && m_wanted == next.number && m_callerBody)
        return nullptr; // it goes straight into the caller's buffer
    return &it->second;
}

bool Session::callerWaits() const
{
    if (m_state != State::Transaction)
        return true;
    if (m_waitingForReadAhead || m_directTicket != 0)
        return true;
    const auto it = m_messages.find(m_position);
    if (it == m_messages.end())
        return false;
    switch (m_step) {
    case Step::Header:
        return it->second.top == Phase::Asked
            || (it->second.headerFromBody && it->second.retr == Phase::Asked);
    case Step::Size: return it->second.list == Phase::Asked;
    case Step::Message: return false;
    }
    return false;
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
        || pending.command == Command::Retr || pending.command == Command::ListAll;
    if (ok && multiLine) {
        m_contentStatus = line.toByteArray();
        m_decoder = {};
        m_contentBytes = 0;
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
    case Command::ListAll:
        m_scanList.reset(&m_listedSizes);
        return m_scanList;
    case Command::Retr:
        // Straight into the caller's buffer, into the buffer of a body read ahead, or, when
        // nobody wants this reply any more, nowhere.
        if (pending.ticket == m_directTicket) {
            m_message.reset(m_callerBody);
        } else if (Message* message = requestedBy(pending, &Message::retr, &Message::retrTicket)) {
            if (m_waitingForReadAhead && m_wanted == pending.number && m_callerBody) {
                // The caller already waits for this body: it goes straight into its buffer.
                message->intoCaller = true;
                m_message.reset(m_callerBody);
            } else {
                message->kept = true;
                m_bytesKept += message->reserved;
                message->body.assign(std::size_t(message->reserved) + 1, '\0');
                m_message.reset(&message->body);
            }
        } else {
            m_message.reset(nullptr);
        }
        return m_message;
    default:
        m_capabilities.reset();
        return m_capabilities;
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
    case Command::ListAll: m_listAllPending = false; break; // sizes missing are asked one by one
    case Command::Top: onTop(pending, ok, statusLine); break;
    case Command::List: onList(pending, ok, statusLine); break;
    case Command::Retr: onRetr(pending, ok, statusLine); break;
    case Command::Quit: onQuit(); break;
    }
    // A size that came in, or a body that came or was refused, may let other bodies be asked for.
    if (pending.command == Command::List || pending.command == Command::Retr
        || pending.command == Command::ListAll)
        readAhead();
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
    // The sizes of all messages come in the same round trip as the count; reading ahead needs
    // them before it can ask for bodies.
    if (m_pipelining && m_readAhead.messages > 0) {
        m_listAllPending = true;
        send(Command::ListAll, 0, "LIST");
    }
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
    m_listedSizes.assign(std::size_t(std::min<std::int64_t>(*count, Limits::kMaxListedSizes)), -1);
    m_loggedIn = true;
    setState(State::Transaction);
}

// --- Requests and reading ahead -------------------------------------------------------------

void Session::askTop(int number, Message& message)
{
    message.top = Phase::Asked;
    message.topTicket = send(Command::Top, number, "TOP " + QByteArray::number(number) + " 0");
}

void Session::askList(int number, Message& message)
{
    message.list = Phase::Asked;
    message.listTicket = send(Command::List, number, "LIST " + QByteArray::number(number));
}

void Session::askSize(int number, Message& message)
{
    if (!takeListedSize(number, message))
        askList(number, message);
}

bool Session::takeListedSize(int number, Message& message)
{
    if (number < 1 || std::size_t(number) > m_listedSizes.size()
        || m_listedSizes[std::size_t(number - 1)] < 0)
        return false;
    message.list = Phase::Answered;
    message.listTicket = 0;
    message.size = {true, m_listedSizes[std::size_t(number - 1)], {}};
    return true;
}

void Session::askRetr(int number, Message& message)
{
    message.retr = Phase::Asked;
    message.retrTicket = send(Command::Retr, number, "RETR " + QByteArray::number(number));
}

// The message a reply belongs to, when that request is still the one wanted.
Session::Message* Session::requestedBy(const Pending& pending, Phase Message::*phase,
                                       std::uint64_t Message::*ticket)
{
    const auto it = m_messages.find(pending.number);
    if (it == m_messages.end() || it->second.*phase != Phase::Asked
        || it->second.*ticket != pending.ticket)
        return nullptr;
    return &it->second;
}

// The caller is at `number` now: what was kept about messages before it goes. A caller that
// goes back reads ahead again from there; what was asked for beyond its reach is dropped (the
// replies are read and thrown away).
void Session::moveTo(int number, Step step)
{
    const bool back = number < m_position;
    m_position = number;
    m_step = step;
    const auto before = m_messages.lower_bound(number);
    for (auto it = m_messages.begin(); it != before;)
        drop(it++);
    if (back) {
        const std::int64_t reach = std::int64_t(number) + m_readAhead.messages;
        for (auto it = m_messages.upper_bound(int(std::min<std::int64_t>(reach, INT_MAX)));
             it != m_messages.end();)
            drop(it++);
        m_infoNext = std::int64_t(number) + 1;
        m_bodyNext = number;
    }
    m_infoNext = std::max(m_infoNext, std::int64_t(number) + 1);
    m_bodyNext = std::max(m_bodyNext, std::int64_t(number));
}

// The entry of `number`, found or made; `hint` is where it is or would be (the walks below go up
// through consecutive numbers, so this costs next to nothing).
Session::Messages::iterator Session::entry(Messages::iterator hint, int number)
{
    if (hint != m_messages.end() && hint->first == number)
        return hint;
    return m_messages.try_emplace(hint, number);
}

// Asks for what the caller will want next: the rest of its own message (after the header its
// size), then the sizes of the messages within reach after it, and, in order, their bodies as far
// as they fit the window of bytes on their way. A body read ahead brings its header along; only
// messages whose bodies are not read ahead have their headers asked for (TOP n 0).
void Session::readAhead()
{
    if (!m_pipelining || m_state != State::Transaction || m_position < 1
        || m_readAhead.messages == 0)
        return;
    auto it = entry(m_messages.lower_bound(m_position), m_position);
    if (it->second.list == Phase::NotAsked && m_step == Step::Header && !m_listAllPending)
        askSize(m_position, it->second);
    askSizesAhead();
    askBodiesAhead();
}

// Sizes of the messages after the caller's, up to ReadAhead::messages ahead. Once the reach is
// covered it is topped up an eighth at a time, so the requests go out in a few larger writes
// instead of one small write per message the caller takes; the last messages of the mailbox go
// as soon as they are in reach, so their bodies are not asked for late.
void Session::askSizesAhead()
{
    const std::int64_t reach =
        std::min<std::int64_t>(m_messageCount, std::int64_t(m_position) + m_readAhead.messages);
    const std::int64_t batch = std::max(1, m_readAhead.messages / 8);
    const bool smallTopUp = reach - m_infoNext + 1 < batch && reach < m_messageCount;
    if (m_listAllPending || m_infoNext > reach || (smallTopUp && m_infoNext > m_position + batch))
        return;
    auto it = m_messages.lower_bound(int(m_infoNext));
    for (; m_infoNext <= reach; ++m_infoNext, ++it) {
        it = entry(it, int(m_infoNext));
        if (it->second.list == Phase::NotAsked)
            askSize(int(m_infoNext), it->second);
    }
}

// Bodies in order from the caller's message, each as soon as its size is known and it fits the
// window of bytes on their way. A body whose size is refused or larger than the bytes that may be
// kept is not read ahead: the caller's own request fetches it straight into the caller's buffer,
// and its header is read ahead instead, while the headers kept have room.
// While bodies are on their way, more are asked for only once an eighth of the window is free
// (again for fewer, larger writes).
void Session::askBodiesAhead()
{
    const std::int64_t reach =
        std::min<std::int64_t>(m_messageCount, std::int64_t(m_position) + m_readAhead.messages);
    if (m_bytesFlying > 0 && m_window - m_bytesFlying < m_window / 8)
        return;
    auto it = m_messages.lower_bound(int(m_bodyNext));
    for (; m_bodyNext <= reach; ++m_bodyNext, ++it) {
        if (it == m_messages.end() || it->first != m_bodyNext)
            return; // its size has not been asked for yet
        Message& message = it->second;
        if (message.retr != Phase::NotAsked)
            continue;
        if (message.list == Phase::NotAsked || message.list == Phase::Asked)
            return; // its size is not known yet; bodies are asked for in order
        const std::int64_t size = message.size.value;
        if (!message.size.ok || size > m_readAhead.bytes) {
            message.retr = Phase::Used;
            if (message.top == Phase::NotAsked && m_bodyNext > m_position
                && m_headerBytesAhead < m_readAhead.headerBytes)
                askTop(int(m_bodyNext), message);
            continue;
        }
        // A body larger than the window still goes when nothing else is on its way.
        if (m_bytesFlying > 0 && m_bytesFlying + size > m_window)
            return; // waits for bodies before it to arrive
        message.reserved = size;
        message.flying = true;
        m_bytesAhead += size;
        m_bytesFlying += size;
        askRetr(int(m_bodyNext), message);
    }
}

int Session::bodiesAhead() const
{
    return int(std::count_if(m_messages.begin(), m_messages.end(), [](const auto& entry) {
        return entry.second.retr == Phase::Asked || entry.second.retr == Phase::Answered;
    }));
}

std::int64_t Session::bytesHeld() const
{
    std::int64_t held = 0;
    for (const auto& [number, message] : m_messages)
        held += std::int64_t(message.body.size()) + message.headerKept
            + message.retrieval.header.size();
    return held;
}

// Gives back a body's share of the bound and of the window, and its memory.
void Session::release(Message& message)
{
    if (m_message.writesInto(&message.body))
        m_message.detachBody();
    if (message.flying)
        m_bytesFlying -= message.reserved;
    if (message.kept)
        m_bytesKept -= message.reserved + message.headerOfBody;
    m_bytesAhead -= message.reserved;
    message.reserved = 0;
    message.flying = false;
    message.kept = false;
    message.headerOfBody = 0;
    message.intoCaller = false;
    message.body = {};
    message.retrieval = {};
}

void Session::releaseHeader(Message& message)
{
    m_headerBytesAhead -= message.headerKept;
    message.headerKept = 0;
}

void Session::drop(Messages::iterator it)
{
    release(it->second);
    releaseHeader(it->second);
    m_messages.erase(it);
}

void Session::dropAll()
{
    while (!m_messages.empty())
        drop(m_messages.begin());
    m_waitingForReadAhead = false;
}

// The connection is gone: bodies still on their way never come, complete answers stay.
void Session::forgetUnanswered()
{
    for (auto& [number, message] : m_messages) {
        if (message.retr == Phase::Asked) {
            release(message);
            message.retr = Phase::Used;
        }
    }
    m_waitingForReadAhead = false;
}

void Session::requestHeader(int number)
{
    if (m_state != State::Transaction)
        return;
    moveTo(number, Step::Header);
    Message& message = m_messages[number];
    // Once its size is known this message's body may go now and bring the header along; else the
    // header is asked for first and reading ahead follows.
    if (message.list == Phase::NotAsked && !m_listAllPending)
        takeListedSize(number, message);
    const bool sizeKnown = message.list == Phase::Answered || message.list == Phase::Used;
    if (sizeKnown)
        readAhead();
    if (message.top == Phase::NotAsked || message.top == Phase::Used) {
        // A body read ahead (or on its way) brings the header: no TOP, no round trip of its own.
        const bool bodyComing = message.retr == Phase::Asked && !message.intoCaller;
        const bool bodyKept = message.retr == Phase::Answered && message.retrieval.ok;
        message.headerFromBody = bodyComing || bodyKept;
        if (!message.headerFromBody)
            askTop(number, message);
    }
    if (!sizeKnown)
        readAhead();
}

// The header was to come with a body read ahead that will not come after all: TOP asks for it.
void Session::headerWithoutBody(int number, Message& message)
{
    if (!message.headerFromBody)
        return;
    message.headerFromBody = false;
    if (m_state == State::Transaction)
        askTop(number, message);
}

std::optional<Answer<QByteArray>> Session::takeHeader(int number)
{
    const auto it = m_messages.find(number);
    if (it == m_messages.end())
        return std::nullopt;
    Message& message = it->second;
    if (message.headerFromBody && message.retr == Phase::Answered && message.retrieval.ok) {
        message.headerFromBody = false;
        return Answer<QByteArray>{true, message.retrieval.header, {}};
    }
    if (message.top != Phase::Answered)
        return std::nullopt;
    it->second.top = Phase::Used;
    releaseHeader(it->second);
    return std::exchange(it->second.header, {});
}

void Session::requestSize(int number)
{
    if (m_state != State::Transaction)
        return;
    moveTo(number, Step::Size);
    Message& message = m_messages[number];
    if (message.list == Phase::NotAsked || message.list == Phase::Used)
        askSize(number, message);
    readAhead();
}

std::optional<Answer<std::int64_t>> Session::takeSize(int number)
{
    const auto it = m_messages.find(number);
    if (it == m_messages.end() || it->second.list != Phase::Answered)
        return std::nullopt;
    it->second.list = Phase::Used;
    return it->second.size;
}

void Session::requestMessage(int number, std::string* body)
{
    m_retrieval = {};
    if (m_state == State::Failed) {
        // A body read completely before the failure is still the message.
        const auto it = m_messages.find(number);
        if (it != m_messages.end() && it->second.retr == Phase::Answered) {
            m_callerBody = body;
            deliverReadAhead(number, it->second);
            m_callerBody = nullptr;
        }
        return;
    }
    if (m_state != State::Transaction)
        return;
    moveTo(number, Step::Message);
    m_wanted = number;
    m_callerBody = body;
    m_directTicket = 0;
    m_waitingForReadAhead = false;
    Message& message = m_messages[number];
    if (message.retr == Phase::Answered) {
        deliverReadAhead(number, message);
    } else if (message.retr == Phase::Asked && !message.intoCaller) {
        m_waitingForReadAhead = true;
    } else {
        // Not read ahead, or its reply began to stream into the buffer of an earlier call that
        // has gone: that reply is thrown away and the message fetched again.
        release(message);
        askRetr(number, message);
        message.retr = Phase::Used;
        m_directTicket = message.retrTicket;
    }
    readAhead();
}

void Session::detachBody()
{
    if (m_message.writesInto(m_callerBody))
        m_message.detachBody();
    m_callerBody = nullptr;
    m_waitingForReadAhead = false;
}

// Hands a body read ahead to the caller as if it had come straight into the caller's buffer: cut
// to its capacity and ended with a NUL. Only when the server sent more than LIST said and the
// caller's buffer has room for more than was kept is the message fetched again.
void Session::deliverReadAhead(int number, Message& message)
{
    m_waitingForReadAhead = false;
    const Retrieval& result = message.retrieval;
    if (result.ok) {
        const std::size_t kept = std::size_t(message.reserved);
        const std::size_t written = std::size_t(std::min<std::int64_t>(result.size, message.reserved));
        const std::size_t capacity = m_callerBody ? m_callerBody->size() : 0;
        if (written < std::size_t(result.size) && capacity > kept + 1) {
            if (m_state != State::Transaction)
                return; // cannot be fetched again: the retrieval fails with the session
            release(message);
            askRetr(number, message);
            message.retr = Phase::Used;
            m_directTicket = message.retrTicket;
            return;
        }
        if (capacity > 0) {
            const std::size_t n = std::min(written, capacity - 1);
            if (n > 0)
                std::memcpy(m_callerBody->data(), message.body.data(), n);
            (*m_callerBody)[n] = '\0';
        }
    }
    m_retrieval = result;
    release(message);
    message.retr = Phase::Used;
}

void Session::requestQuit()
{
    if (m_state == State::Failed || m_state == State::Closed || m_state == State::Quitting)
        return;
    dropAll();
    m_directTicket = 0;
    // Requests not yet sent are of no use any more.
    std::erase_if(m_unsent, [](const Pending& pending) {
        return pending.command == Command::Top || pending.command == Command::List
            || pending.command == Command::Retr;
    });
    setState(State::Quitting);
    send(Command::Quit, 0, "QUIT");
}

void Session::onTop(const Pending& pending, bool ok, QByteArrayView line)
{
    Message* message = requestedBy(pending, &Message::top, &Message::topTicket);
    QByteArray header = m_top.takeHeader();
    if (!message)
        return;
    message->top = Phase::Answered;
    if (ok)
        message->header = {true, std::move(header), {}};
    else
        message->header = {false, {}, failure::serverRejected(line)};
    if (pending.number == m_position)
        return;
    // A header read ahead is kept within its bound; one that does not fit is asked for again
    // when the caller wants it.
    const std::int64_t size = message->header.value.size();
    if (m_headerBytesAhead + size > m_readAhead.headerBytes) {
        message->top = Phase::Used;
        message->header = {};
        return;
    }
    message->headerKept = size;
    m_headerBytesAhead += size;
}

void Session::onList(const Pending& pending, bool ok, QByteArrayView line)
{
    Message* message = requestedBy(pending, &Message::list, &Message::listTicket);
    if (!message)
        return;
    message->list = Phase::Answered;
    const int number = pending.number;
    if (!ok) {
        message->size = {false, 0, failure::serverRejected(line)};
        return;
    }
    // "+OK n size": the number must be the one asked for and the size one we can allocate.
    const auto words = wordsAfterStatus(line);
    const auto echoed = words.size() >= 2 ? parseCount(words[0], std::numeric_limits<int>::max())
                                          : std::nullopt;
    const auto size = words.size() >= 2 ? parseCount(words[1], Limits::kMaxTrustedMessageSize)
                                        : std::nullopt;
    if (!echoed || *echoed != number || !size)
        message->size = {false, 0, failure::untrustedSize(number, line)};
    else
        message->size = {true, *size, {}};
}

void Session::onRetr(const Pending& pending, bool ok, QByteArrayView line)
{
    Retrieval result;
    result.done = true;
    result.ok = ok;
    if (ok) {
        m_message.finish();
        result.header = m_message.takeHeader();
        result.size = m_message.totalBytes();
    } else {
        result.failure = failure::serverRejected(line);
    }
    m_message.detachBody();

    if (pending.ticket == m_directTicket) {
        m_directTicket = 0;
        m_retrieval = std::move(result);
        return;
    }
    Message* message = requestedBy(pending, &Message::retr, &Message::retrTicket);
    if (!message)
        return;
    // A body read ahead came: the window grows by it, as TCP's does by what is acknowledged.
    if (message->flying) {
        message->flying = false;
        m_bytesFlying -= message->reserved;
        m_window = std::min(m_readAhead.flightBytes, m_window + message->reserved);
    }
    if (message->intoCaller) {
        release(*message);
        message->retr = Phase::Used;
        if (m_waitingForReadAhead && m_wanted == pending.number) {
            m_waitingForReadAhead = false;
            m_retrieval = std::move(result);
        }
        return;
    }
    message->retr = Phase::Answered;
    message->retrieval = std::move(result);
    // The header came apart from the body's buffer: it counts as kept too.
    if (message->kept) {
        message->headerOfBody = message->retrieval.header.size();
        m_bytesKept += message->headerOfBody;
    }
    if (!ok) {
        m_bytesAhead -= message->reserved;
        message->reserved = 0;
        headerWithoutBody(pending.number, *message);
    }
    if (m_waitingForReadAhead && m_wanted == pending.number)
        deliverReadAhead(pending.number, *message);
}

void Session::onQuit() { setState(State::Closed); }

} // namespace pelmora::pop3
