#include "imap/FailureText.h"

#include "pop3/FailureText.h"

#include <algorithm>

namespace pelmora::imap::failure {

using namespace Qt::StringLiterals;

using pop3::failure::shown;

namespace {

QString megabytes(std::int64_t bytes) { return QString::number(bytes / (1024 * 1024)) + u" MB"_s; }

} // namespace

QString badServerName(const QString& typed)
{
    return u"サーバー名「%1」を解釈できません。imap://host[:port]、imap+starttls://host[:port] または imaps://host[:port] の形で指定してください。"_s
        .arg(typed);
}
QString garbledResponse(QByteArrayView line)
{
    return u"サーバーの応答が IMAP の形式ではありません: %1"_s.arg(shown(line));
}
QString responseTooLong(std::int64_t limit)
{
    return u"サーバーの応答が長すぎます（%1 を超えました）。接続を中止します。"_s.arg(megabytes(limit));
}
QString literalTooLarge(std::int64_t announced, std::int64_t limit)
{
    return u"サーバーが %1 バイトのデータを送ると告げました（上限 %2）。読まずに接続を中止します。"_s
        .arg(announced)
        .arg(megabytes(limit));
}
QString tooManyLiterals(int limit)
{
    return u"サーバーの応答に含まれるデータの塊が多すぎます（%1 個を超えました）。接続を中止します。"_s.arg(limit);
}
QString repliesWithoutEnd(std::int64_t limit)
{
    return u"サーバーの応答が終わりません（%1 を超えました）。接続を中止します。"_s.arg(megabytes(limit));
}
QString tooManyUnseen(std::size_t limit)
{
    return u"未読のメールが多すぎます（%1 通を超えました）。接続を中止します。"_s.arg(limit);
}
QString nulInResponse() { return u"サーバーの応答に NUL 文字が含まれています。"_s; }
QString unexpectedContinuation()
{
    return u"サーバーが、求められていない継続要求（+）を送ってきました。"_s;
}
QString unknownTag(QByteArrayView line)
{
    return u"サーバーが、送っていないコマンドへの応答を返しました: %1"_s.arg(shown(line));
}
QString unexpectedDataBeforeTls()
{
    return u"STARTTLS の後、TLS の開始前にサーバーが余分なデータを送りました。接続を中止します。"_s;
}
QString serverSaidBye(QByteArrayView text)
{
    return u"サーバーが接続を終えました: %1"_s.arg(shown(text));
}
QString preauthWithoutTls()
{
    return u"サーバーが暗号化されていない接続でログイン済み（PREAUTH）と応答しました。TLS が必要なため、この接続は使わずに中止しました。"_s;
}
QString loginDisabled()
{
    return u"サーバーがこの接続でのログインを受け付けていません（LOGINDISABLED）。パスワードは送っていません。"_s;
}
QString apopNotForImap()
{
    return u"APOP は POP3 のログイン方法です。IMAP のサーバーには通常のログインを選んでください。パスワードは送っていません。"_s;
}
QString tokenNeedsTls()
{
    return u"トークンでのサインインには TLS で暗号化された接続が必要です（サーバー名に imaps:// または imap+starttls:// を使ってください）。トークンは送っていません。"_s;
}
QString tokenNotAccepted()
{
    return u"このサーバーはトークンでのサインインを受け付けていません（AUTHENTICATE の OAUTHBEARER も XOAUTH2 もありません）。トークンは送っていません。"_s;
}
QString startTlsRefused(QByteArrayView text)
{
    return u"サーバーが STARTTLS（TLS への切り替え）を拒否しました: %1"_s.arg(shown(text));
}
QString startTlsNoLongerOffered()
{
    return u"このサーバーは以前 STARTTLS（TLS への切り替え）を提供していましたが、今回は提供していません。通信経路で STARTTLS が取り除かれた恐れがあるため、パスワードもトークンも送らずに中止しました。"_s;
}
QString startTlsNotOffered()
{
    return u"サーバーが STARTTLS（TLS への切り替え）を提供していません。サーバー名に imap+starttls:// が指定されているため、パスワードもトークンも平文では送らずに中止しました。"_s;
}
QString inboxNotOpened(QByteArrayView text)
{
    return u"受信箱（INBOX）を開けませんでした。サーバーの応答: %1"_s.arg(shown(text));
}
QString searchFailed(QByteArrayView text)
{
    return u"未読メールを調べられませんでした。サーバーの応答: %1"_s.arg(shown(text));
}
QString fetchRefused(QByteArrayView text)
{
    return u"メールのヘッダーを読めませんでした。サーバーの応答: %1"_s.arg(shown(text));
}
QString idleRefused(QByteArrayView text)
{
    return u"サーバーが新着の待ち受け（IDLE）を拒否しました: %1"_s.arg(shown(text));
}
QString headerNotSent()
{
    return u"サーバーがこのメールのヘッダーを返しませんでした（確認の間に削除された可能性があります）。"_s;
}

QString noUidValidity()
{
    return u"サーバーが受信箱の UIDVALIDITY を返さないため、メールを見分ける ID がありません。"_s;
}

} // namespace pelmora::imap::failure
