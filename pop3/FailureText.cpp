#include "pop3/FailureText.h"

#include <algorithm>

namespace pelmora::pop3::failure {

using namespace Qt::StringLiterals;

namespace {

QString seconds(std::chrono::milliseconds limit)
{
    const auto ms = limit.count();
    if (ms % 1000 == 0)
        return QString::number(ms / 1000) + u" 秒"_s;
    return QString::number(double(ms) / 1000.0, 'f', 3) + u" 秒"_s;
}

} // namespace

// A server's text as shown to the user: printable ASCII kept, anything else (control bytes, NUL,
// bytes of an unknown charset) shown as '?', and cut so a hostile line cannot flood the text.
QString shown(QByteArrayView line)
{
    constexpr qsizetype kShown = 200;
    QString out;
    for (qsizetype i = 0; i < line.size() && i < kShown; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        out += (c >= 0x20 && c < 0x7f) ? QChar(char16_t(c)) : QChar(u'?');
    }
    if (line.size() > kShown)
        out += u"…"_s;
    return out;
}

QString badServerName(const QString& typed)
{
    return u"サーバー名「%1」を解釈できません。host、host:port、pop3://host[:port]、pop3+starttls://host[:port] または pop3s://host[:port] の形で指定してください。"_s
        .arg(typed);
}
QString hostNotFound(const QString& host, const QString& detail)
{
    return u"サーバー %1 が見つかりません（%2）。"_s.arg(host, detail);
}
QString cannotConnect(const QString& host, const QString& detail)
{
    return u"サーバー %1 に接続できません（%2）。"_s.arg(host, detail);
}
QString connectTimedOut(const QString& host, std::chrono::milliseconds limit)
{
    return u"サーバー %1 への接続がタイムアウトしました（%2 待ちました）。"_s.arg(host, seconds(limit));
}
QString replyTimedOut(std::chrono::milliseconds limit)
{
    return u"サーバーの応答がタイムアウトしました（%1 待ちました）。"_s.arg(seconds(limit));
}
QString checkTookTooLong(std::chrono::milliseconds limit)
{
    const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(limit).count();
    const QString span = minutes > 0 && limit.count() % 60'000 == 0
        ? QString::number(minutes) + u" 分"_s
        : seconds(limit);
    return u"サーバーとのやり取りが %1 を超えても終わらないため、メールの確認を打ち切りました。"_s.arg(span);
}
QString connectionLost() { return u"サーバーとの接続が途中で切れました。"_s; }
QString connectionClosedByCaller() { return u"接続はすでに閉じられています。"_s; }
QString garbledReply(QByteArrayView line)
{
    return u"サーバーの応答が POP3 の形式ではありません: %1"_s.arg(shown(line));
}
QString unsolicitedData() { return u"サーバーが、求められていない応答を送ってきました。"_s; }
QString replyLineTooLong(qsizetype limit)
{
    return u"サーバーの応答行が長すぎます（%1 バイトを超えました）。"_s.arg(limit);
}
QString replyTooLong(std::int64_t limit)
{
    return u"サーバーの応答が終わりません（%1 MB を超えました）。接続を中止します。"_s.arg(
        limit / (1024 * 1024));
}
QString capabilityListTooLong(qsizetype lineLimit)
{
    return u"サーバーの機能一覧（CAPA の応答）が長すぎます（%1 行を超えました）。ログインを中止します。"_s
        .arg(lineLimit);
}
QString nulInReply() { return u"サーバーの応答に NUL 文字が含まれています。"_s; }
QString unexpectedDataBeforeTls()
{
    return u"STLS の後、TLS の開始前にサーバーが余分なデータを送りました。接続を中止します。"_s;
}
QString serverRejected(QByteArrayView serverLine)
{
    return u"サーバーがエラーを返しました: %1"_s.arg(shown(serverLine));
}
QString loginRejected(QByteArrayView serverLine)
{
    return u"ログインできませんでした。サーバーの応答: %1"_s.arg(shown(serverLine));
}
QString apopWithoutTimestamp()
{
    return u"APOP でのログインが指定されましたが、サーバーの挨拶に APOP 用のタイムスタンプ <…> がありません。"_s;
}
QString lineBreakInCredentials()
{
    return u"ユーザー名またはパスワードに改行文字（CR/LF）か NUL 文字が含まれています。"_s;
}
QString controlCharacterInToken()
{
    return u"ユーザー名またはトークンに制御文字（^A）が含まれています。"_s;
}
QString tokenNeedsTls()
{
    return u"トークンでのサインインには TLS で暗号化された接続が必要です（サーバー名に pop3s:// または pop3+starttls:// を使ってください）。トークンは送っていません。"_s;
}
QString tokenNotAccepted()
{
    return u"このサーバーはトークンでのサインインを受け付けていません（SASL の OAUTHBEARER も XOAUTH2 もありません）。トークンは送っていません。"_s;
}
QString tokenRefused(QByteArrayView serverLine, QByteArrayView status)
{
    QString text = u"サーバーがトークンを受け付けませんでした（期限切れか取り消された可能性があります）。サーバーの応答: %1"_s
                       .arg(shown(serverLine));
    if (status.isEmpty())
        return text;
    // The HTTP status of RFC 6750's error codes, as OAUTHBEARER's challenge gives it.
    const QString code = status == "401" ? u"invalid_token"_s
        : status == "400"                ? u"invalid_request"_s
        : status == "403"                ? u"insufficient_scope"_s
                                         : QString();
    text += u"（状態 %1%2）"_s.arg(shown(status.first(std::min<qsizetype>(status.size(), 16))),
                                 code.isEmpty() ? QString() : u": "_s + code);
    return text;
}
QString tlsUnavailable() { return u"この環境では TLS（SSL）を使えません。"_s; }
QString tlsFailed(const QString& detail)
{
    return u"TLS で安全に接続できませんでした: %1"_s.arg(detail);
}
QString startTlsRefused(QByteArrayView serverLine)
{
    return u"サーバーが STLS（TLS への切り替え）を拒否しました: %1"_s.arg(shown(serverLine));
}
QString startTlsNoLongerOffered()
{
    return u"このサーバーは以前 STLS（TLS への切り替え）を提供していましたが、今回は提供していません。通信経路で STLS が取り除かれた恐れがあるため、パスワードもトークンも送らずに中止しました。"_s;
}
QString startTlsNotOffered()
{
    return u"サーバーが STLS（TLS への切り替え）を提供していません。サーバー名に pop3+starttls:// が指定されているため、パスワードもトークンも平文では送らずに中止しました。"_s;
}
QString badMessageCount(QByteArrayView serverLine)
{
    return u"サーバーが返したメール数を読めません: %1"_s.arg(shown(serverLine));
}
QString noSuchMessage(int number, int count)
{
    return u"メール番号 %1 はありません（メールは %2 通です）。"_s.arg(number).arg(count);
}
QString headersNotOffered()
{
    return u"サーバーが TOP（ヘッダーだけの取得）を提供していないため、ヘッダーは読みません。"_s;
}
QString messageIdsNotOffered()
{
    return u"サーバーが UIDL（メールごとの固有 ID）を提供していません。"_s;
}
QString messageIdsNotUsable()
{
    return u"サーバーが返したメールの固有 ID（UIDL の応答）に重複や不正な行があるため、使えません。"_s;
}
QString tooManyMessageIds(int limit)
{
    return u"メールが %1 通を超えているため、メールごとの固有 ID は読みません。"_s.arg(limit);
}
QString sessionBusy() { return u"この接続は別の処理の途中です。"_s; }
QString notLoggedIn() { return u"まだログインしていません。"_s; }

} // namespace pelmora::pop3::failure
