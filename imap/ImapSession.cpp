#include "imap/ImapSession.h"

#include "imap/FailureText.h"
#include "pop3/FailureText.h"
#include "imap/ImapLimits.h"
#include "imap/ResponseParts.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace pelmora::imap {

namespace {

bool hasLineBreakOrNul(QByteArrayView text)
{
    return text.contains('\r') || text.contains('\n') || text.contains('\0');
}

bool hasEightBit(QByteArrayView text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// A quoted string: '"' and '\' escaped (the caller has refused CR, LF and NUL).
QByteArray quoted(const QByteArray& text)
{
    QByteArray out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// A user name as RFC 5801's saslname: "=" and "," written as =3D and =2C.
QByteArray saslName(const QByteArray& user)
{
    QByteArray name = user;
    return name.replace('=', "=3D").replace(',', "=2C");
}

// The "status" of the JSON a server sends as its challenge when it refuses a token (RFC 7628
// 3.2.2; XOAUTH2 sends the same), or nothing when the challenge is not such JSON.
QByteArray statusOfTokenChallenge(const QByteArray& challenge)
{
    const auto decoded = QByteArray::fromBase64Encoding(challenge.trimmed(),
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

Answer<QByteArray> failed(QString text) { return {false, {}, std::move(text)}; }

} // namespace

Session::Session(Credentials credentials, bool secure, bool tlsAvailable)
    : m_credentials(std::move(credentials)), m_secure(secure), m_tlsAvailable(tlsAvailable)
{
}

Session::~Session() = default;

void Session::fail(const QString& text)
{
    if (m_state == State::Failed)
        return;
    m_failure = text;
    m_state = State::Failed;
    m_inFlight.clear();
}

void Session::abort(const QString& why)
{
    if (m_state != State::Closed)
        fail(why);
}

void Session::sendLine(const QByteArray& line) { m_outgoing += line + "\r\n"; }

void Session::send(Command command, const QByteArray& arguments, std::vector<std::uint32_t> uids)
{
    static constexpr const char* kVerbs[] = {
        "CAPABILITY", "STARTTLS", "LOGIN", "AUTHENTICATE", "EXAMINE", "UID SEARCH", "UID FETCH",
        "LOGOUT", "IDLE",
    };
    QByteArray tag = 'P' + QByteArray::number(++m_lastTag);
    QByteArray line = tag + ' ' + kVerbs[int(command)];
    if (!arguments.isEmpty())
        line += ' ' + arguments;
    sendLine(line);
    m_inFlight.push_back({command, std::move(tag), std::move(uids)});
}

void Session::feed(QByteArrayView bytes)
{
    qsizetype pos = 0;
    while (pos < bytes.size() && m_state != State::Failed && m_state != State::Closed) {
        // After STARTTLS is answered, anything before the handshake was put there by someone
        // on the path (and would be taken as coming over TLS).
        if (m_state == State::TlsHandshake)
            return fail(failure::unexpectedDataBeforeTls());
        const qsizetype before = pos;
        std::optional<Response> response = m_reader.next(bytes, pos);
        m_bytesSinceTagged += pos - before;
        switch (m_reader.problem()) {
        case ResponseReader::Problem::None: break;
        case ResponseReader::Problem::TextTooLong:
            return fail(failure::responseTooLong(Limits::kMaxResponseText));
        case ResponseReader::Problem::LiteralTooLarge:
            return fail(failure::literalTooLarge(m_reader.announcedLiteral(), Limits::kMaxLiteral));
        case ResponseReader::Problem::TooManyLiterals:
            return fail(failure::tooManyLiterals(Limits::kMaxLiteralsPerResponse));
        case ResponseReader::Problem::Nul: return fail(failure::nulInResponse());
        }
        if (m_bytesSinceTagged > Limits::kMaxBytesPerCommand)
            return fail(failure::repliesWithoutEnd(Limits::kMaxBytesPerCommand));
        if (!response)
            return;
        handle(*response);
    }
}

void Session::handle(const Response& response)
{
    ResponseParts parts(response);
    const StatusLine status = readStatusLine(parts);
    if (m_state == State::Greeting) {
        if (status.kind != StatusLine::Kind::Untagged || status.number)
            return fail(failure::garbledResponse(response.text));
        return onGreeting(status);
    }
    switch (status.kind) {
    case StatusLine::Kind::Garbled: return fail(failure::garbledResponse(response.text));
    case StatusLine::Kind::Continuation: return handleContinuation(status);
    case StatusLine::Kind::Untagged: return handleUntagged(status, parts);
    case StatusLine::Kind::Tagged: return handleTagged(status);
    }
}

void Session::onGreeting(const StatusLine& status)
{
    ++m_repliesCompleted;
    m_bytesSinceTagged = 0;
    if (status.word == "BYE")
        return fail(failure::serverSaidBye(status.text));
    if (status.word == "PREAUTH") {
        // Logged in already: nothing secret is sent. Unless TLS is required, since then the
        // answers must not come from whoever removed STARTTLS.
        if (!m_secure && m_tlsRequirement != TlsRequirement::None)
            return fail(failure::preauthWithoutTls());
        return onLoggedIn();
    }
    if (status.word != "OK")
        return fail(failure::garbledResponse(QByteArray(status.word + ' ' + status.text)));
    if (status.code == "CAPABILITY")
        readCapabilities(status.codeText);
    if (m_capabilities.known)
        return afterCapabilities();
    setState(State::Capabilities);
    send(Command::Capability, {});
}

void Session::readCapabilities(QByteArrayView list)
{
    m_capabilities = {};
    m_capabilities.known = true;
    for (const QByteArray& word : list.toByteArray().split(' ')) {
        const QByteArray name = word.toUpper();
        if (name == "STARTTLS")
            m_capabilities.startTls = true;
        else if (name == "LOGINDISABLED")
            m_capabilities.loginDisabled = true;
        else if (name == "SASL-IR")
            m_capabilities.saslIr = true;
        else if (name == "AUTH=PLAIN")
            m_capabilities.plain = true;
        else if (name == "AUTH=OAUTHBEARER")
            m_capabilities.oauthBearer = true;
        else if (name == "AUTH=XOAUTH2")
            m_capabilities.xoauth2 = true;
        else if (name == "IDLE")
            m_capabilities.idle = true;
    }
}

void Session::afterCapabilities()
{
    if (!m_secure) {
        if (m_capabilities.startTls) {
            m_startTlsOffered = true;
            if (!m_tlsAvailable)
                return fail(pop3::failure::tlsUnavailable());
            setState(State::StartTls);
            return send(Command::StartTls, {});
        }
        if (m_tlsRequirement == TlsRequirement::AskedFor)
            return fail(failure::startTlsNotOffered());
        if (m_tlsRequirement == TlsRequirement::OfferedBefore)
            return fail(failure::startTlsNoLongerOffered());
    }
    logIn();
}

void Session::tlsEstablished()
{
    if (m_state != State::TlsHandshake)
        return;
    m_secure = true;
    // What the server said before TLS does not count.
    m_capabilities = {};
    setState(State::Capabilities);
    send(Command::Capability, {});
}

void Session::logIn()
{
    setState(State::Authenticating);
    if (m_credentials.token)
        return logInWithToken();
    if (hasLineBreakOrNul(m_credentials.user) || hasLineBreakOrNul(m_credentials.secret))
        return fail(pop3::failure::lineBreakInCredentials());
    // LOGIN's quoted strings are ASCII; SASL PLAIN carries UTF-8.
    const bool plain = m_capabilities.plain
        && (m_capabilities.loginDisabled || hasEightBit(m_credentials.user)
            || hasEightBit(m_credentials.secret));
    if (plain) {
        m_responseSent = m_capabilities.saslIr;
        return send(Command::Authenticate,
                    m_capabilities.saslIr ? "PLAIN " + plainResponse() : QByteArray("PLAIN"));
    }
    if (m_capabilities.loginDisabled)
        return fail(failure::loginDisabled());
    send(Command::Login, quoted(m_credentials.user) + ' ' + quoted(m_credentials.secret));
}

QByteArray Session::plainResponse() const
{
    return QByteArray('\0' + m_credentials.user + '\0' + m_credentials.secret).toBase64();
}

void Session::logInWithToken()
{
    if (!m_secure)
        return fail(failure::tokenNeedsTls());
    if (hasLineBreakOrNul(m_credentials.user) || hasLineBreakOrNul(m_credentials.secret)
        || m_credentials.user.contains('\x01') || m_credentials.secret.contains('\x01'))
        return fail(pop3::failure::controlCharacterInToken());
    if (!m_capabilities.oauthBearer && !m_capabilities.xoauth2)
        return fail(failure::tokenNotAccepted());
    m_usingOAuthBearer = m_capabilities.oauthBearer;
    const QByteArray mechanism = m_usingOAuthBearer ? "OAUTHBEARER" : "XOAUTH2";
    m_responseSent = m_capabilities.saslIr;
    send(Command::Authenticate,
         m_capabilities.saslIr ? mechanism + ' ' + tokenResponse() : mechanism);
}

QByteArray Session::tokenResponse() const
{
    const QByteArray auth = "auth=Bearer " + m_credentials.secret + "\x01\x01";
    if (!m_usingOAuthBearer)
        return QByteArray("user=" + m_credentials.user + '\x01' + auth).toBase64();
    QByteArray response = "n,a=" + saslName(m_credentials.user) + ",\x01";
    if (!m_host.isEmpty())
        response += "host=" + m_host + "\x01port=" + QByteArray::number(m_port) + '\x01';
    return QByteArray(response + auth).toBase64();
}

void Session::handleContinuation(const StatusLine& status)
{
    if (m_state == State::IdleStarting) {
        if (!m_idleEndAsked)
            return setState(State::Idling);
        setState(State::IdleEnding);
        return sendLine("DONE");
    }
    const bool authenticating = !m_inFlight.empty()
        && m_inFlight.back().command == Command::Authenticate && m_tokenStatus.isNull();
    if (!authenticating)
        return fail(failure::unexpectedContinuation());
    if (!m_responseSent) {
        m_responseSent = true;
        return sendLine(m_credentials.token ? tokenResponse() : plainResponse());
    }
    if (!m_credentials.token)
        return fail(failure::unexpectedContinuation());
    // The token was refused; the server says why in JSON and waits for the exchange to end: an
    // empty response (XOAUTH2), or ^A (OAUTHBEARER, RFC 7628 3.2.3). Its NO follows.
    m_tokenStatus = statusOfTokenChallenge(status.text);
    if (m_tokenStatus.isNull())
        m_tokenStatus = "";
    sendLine(m_usingOAuthBearer ? "AQ==" : "");
}

void Session::handleUntagged(const StatusLine& status, ResponseParts& parts)
{
    if (status.word == "BYE") {
        if (m_state == State::LoggingOut)
            return;
        return fail(failure::serverSaidBye(status.text));
    }
    if (status.number) {
        if (status.word == "FETCH")
            readFetch(parts);
        else if (status.word == "EXISTS" && m_loggedIn)
            noticeMail();
        return; // RECENT, EXPUNGE: the UIDs asked for stay what they are
    }
    if (isStatus(status.word)) {
        if (status.code == "CAPABILITY" && m_state == State::Capabilities)
            readCapabilities(status.codeText);
        else if (status.code == "UIDVALIDITY" && m_state == State::Selecting)
            m_uidValidity = status.codeText.toUInt();
        return;
    }
    if (status.word == "CAPABILITY") {
        if (m_state == State::Capabilities)
            readCapabilities(parts.rest());
        return;
    }
    const bool searching = std::any_of(m_inFlight.begin(), m_inFlight.end(),
                                       [](const Pending& p) { return p.command == Command::Search; });
    if (status.word == "SEARCH" && searching) {
        while (!parts.atEnd()) {
            const auto uid = parts.number();
            if (!uid || *uid == 0 || (!parts.atEnd() && !parts.space()))
                return fail(failure::garbledResponse(QByteArray("* SEARCH " + parts.rest().toByteArray())));
            if (m_unseen.size() >= Limits::kMaxUnseen)
                return fail(failure::tooManyUnseen(Limits::kMaxUnseen));
            m_unseen.push_back(*uid);
        }
    }
}

void Session::readFetch(ResponseParts& parts)
{
    if (!parts.take('('))
        return fail(failure::garbledResponse(QByteArray("* FETCH " + parts.rest().toByteArray())));
    std::optional<std::uint32_t> uid;
    std::optional<QByteArray> header;
    bool seen = true;
    while (!parts.take(')')) {
        const QByteArray key = parts.atom(true).toByteArray().toUpper();
        if (key.isEmpty() || !parts.space())
            return fail(failure::garbledResponse(QByteArray("* FETCH " + parts.rest().toByteArray())));
        if (key == "UID") {
            uid = parts.number();
            if (!uid)
                return fail(failure::garbledResponse(QByteArray("* FETCH " + parts.rest().toByteArray())));
        } else if (key == "FLAGS") {
            const QByteArrayView flags = parts.rest();
            if (!parts.skipValue())
                return fail(failure::garbledResponse(QByteArray("* FETCH " + parts.rest().toByteArray())));
            const QByteArray list = flags.first(flags.size() - parts.rest().size()).toByteArray();
            seen = list.toUpper().contains("\\SEEN");
        } else if (key == "BODY[HEADER]") {
            header = parts.string();
            if (!header)
                return fail(failure::garbledResponse(QByteArray("* FETCH " + parts.rest().toByteArray())));
        } else if (!parts.skipValue()) {
            return fail(failure::garbledResponse(QByteArray("* FETCH " + parts.rest().toByteArray())));
        }
        parts.space();
    }
    // A flag change that leaves a message unseen (marked unread elsewhere) may be news.
    if (!seen && !header && m_loggedIn)
        noticeMail();
    if (!uid || !header)
        return; // a flag change, or what a server tells unasked
    for (const Pending& pending : m_inFlight) {
        if (pending.command == Command::Fetch
            && std::find(pending.uids.begin(), pending.uids.end(), *uid) != pending.uids.end()) {
            m_headers.try_emplace(*uid, Answer<QByteArray>{true, std::move(*header), {}});
            return;
        }
    }
}

void Session::handleTagged(const StatusLine& status)
{
    const auto it = std::find_if(m_inFlight.begin(), m_inFlight.end(),
                                 [&](const Pending& p) { return p.tag == status.tag; });
    if (it == m_inFlight.end())
        return fail(failure::unknownTag(QByteArray(status.tag + ' ' + status.word + ' ' + status.text)));
    const Pending pending = std::move(*it);
    m_inFlight.erase(it);
    ++m_repliesCompleted;
    m_bytesSinceTagged = 0;
    const bool ok = status.word == "OK";
    // What the server said, its response code included ("[AUTHENTICATIONFAILED] …").
    QByteArray said = status.text;
    if (!status.code.isEmpty()) {
        const QByteArray code = status.codeText.isEmpty() ? status.code
                                                          : QByteArray(status.code + ' ' + status.codeText);
        said = QByteArray('[' + code + "] " + status.text);
    }
    switch (pending.command) {
    case Command::Capability:
        // A server that cannot list them has none we could use.
        if (!ok)
            m_capabilities = {};
        m_capabilities.known = true;
        return afterCapabilities();
    case Command::StartTls:
        if (!ok)
            return fail(failure::startTlsRefused(said));
        return setState(State::TlsHandshake);
    case Command::Login:
        if (!ok)
            return fail(pop3::failure::loginRejected(said));
        return onLoggedIn();
    case Command::Authenticate:
        if (ok)
            return onLoggedIn();
        if (!m_credentials.token || !m_responseSent)
            return fail(pop3::failure::loginRejected(said));
        m_tokenRefused = true;
        return fail(pop3::failure::tokenRefused(said, m_tokenStatus));
    case Command::Examine:
        if (!ok)
            return fail(failure::inboxNotOpened(said));
        m_examined = true;
        return;
    case Command::Search:
        if (!ok || !m_examined)
            return fail(failure::searchFailed(said));
        std::sort(m_unseen.begin(), m_unseen.end());
        m_unseen.erase(std::unique(m_unseen.begin(), m_unseen.end()), m_unseen.end());
        m_loggedIn = true;
        return setState(State::Ready);
    case Command::Fetch: return onFetchDone(pending, status);
    case Command::Logout: return setState(State::Closed);
    case Command::Idle:
        if (m_state == State::LoggingOut)
            return;
        if (!ok)
            return fail(failure::idleRefused(said));
        m_idleEndAsked = false;
        return setState(State::Ready);
    }
}

void Session::onLoggedIn()
{
    setState(State::Selecting);
    // Both at once: one round trip. A SEARCH after a failed EXAMINE fails too.
    send(Command::Examine, "INBOX");
    send(Command::Search, "UNSEEN");
}

void Session::onFetchDone(const Pending& pending, const StatusLine& status)
{
    for (const std::uint32_t uid : pending.uids) {
        if (status.word == "OK")
            m_headers.try_emplace(uid, failed(failure::headerNotSent()));
        else
            m_headers.try_emplace(uid, failed(failure::fetchRefused(status.text)));
    }
}

bool Session::known(std::uint32_t uid) const
{
    if (m_headers.contains(uid))
        return true;
    return std::any_of(m_inFlight.begin(), m_inFlight.end(), [&](const Pending& p) {
        return std::find(p.uids.begin(), p.uids.end(), uid) != p.uids.end();
    });
}

void Session::requestHeader(int number)
{
    if (m_state != State::Ready || number < 1 || number > int(m_unseen.size())
        || known(m_unseen[number - 1]))
        return;
    // What the caller skipped is not kept for ever.
    if (m_headers.size() + Limits::kFetchBatch > std::size_t(Limits::kMaxHeadersKept))
        m_headers.clear();
    std::vector<std::uint32_t> uids;
    QByteArray set;
    for (std::size_t i = std::size_t(number - 1);
         i < m_unseen.size() && int(uids.size()) < Limits::kFetchBatch; ++i) {
        if (known(m_unseen[i]))
            continue;
        uids.push_back(m_unseen[i]);
        set += (set.isEmpty() ? "" : ",") + QByteArray::number(m_unseen[i]);
    }
    send(Command::Fetch, set + " (BODY.PEEK[HEADER])", std::move(uids));
}

std::optional<Answer<QByteArray>> Session::takeHeader(int number)
{
    if (number < 1 || number > int(m_unseen.size()))
        return std::nullopt;
    const std::uint32_t uid = m_unseen[number - 1];
    const auto it = m_headers.find(uid);
    if (it == m_headers.end())
        return std::nullopt;
    Answer<QByteArray> answer = std::move(it->second);
    // Those before it are not asked for again (the caller reads in order).
    m_headers.erase(m_headers.begin(), std::next(it));
    return answer;
}

void Session::noticeMail() { ++m_mailNotices; }

void Session::startIdle()
{
    if (m_state != State::Ready || !m_capabilities.idle)
        return;
    setState(State::IdleStarting);
    m_idleEndAsked = false;
    send(Command::Idle, {});
}

void Session::endIdle()
{
    if (m_state == State::IdleStarting) {
        m_idleEndAsked = true;
    } else if (m_state == State::Idling) {
        setState(State::IdleEnding);
        sendLine("DONE");
    }
}

void Session::requestLogout()
{
    if (m_state == State::Idling || m_state == State::IdleEnding) {
        // DONE ends the IDLE; LOGOUT may follow it at once.
        if (m_state == State::Idling)
            sendLine("DONE");
    } else if (m_state != State::Ready) {
        return;
    }
    setState(State::LoggingOut);
    send(Command::Logout, {});
}

} // namespace pelmora::imap
