#include "platform/adapters/dbus/FreedesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace pelmora::platform {

using namespace Qt::StringLiterals;

namespace {

const QString kService = u"org.freedesktop.Notifications"_s;
const QString kPath = u"/org/freedesktop/Notifications"_s;
const QString kInterface = u"org.freedesktop.Notifications"_s;
// A service that has not answered by then is taken as absent.
constexpr int kCallTimeoutMs = 5000;

// One line of plain text, at most `maxChars` characters: control characters become spaces, and a
// longer text is cut (never inside a character) and ends with "…".
QString boundedLine(const QString& text, qsizetype maxChars)
{
    QString line = text.trimmed();
    for (QChar& c : line)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0)
            || c.unicode() == 0x2028 || c.unicode() == 0x2029)
            c = u' ';
    if (line.size() <= maxChars)
        return line; // (a shorter text in UTF-16 units has no more characters than that)
    qsizetype cut = maxChars - 1;
    if (line[cut].isLowSurrogate())
        --cut;
    return line.first(cut) + u'…';
}

QString escapeMarkup(QString text)
{
    return text.replace(u'&', u"&amp;"_s).replace(u'<', u"&lt;"_s).replace(u'>', u"&gt;"_s);
}

} // namespace

FreedesktopNotifications::FreedesktopNotifications(QString busAddress)
    : m_busAddress(std::move(busAddress)),
      m_connectionName(u"pelmora-notifications-%1"_s.arg(quintptr(this), 0, 16))
{
}

FreedesktopNotifications::~FreedesktopNotifications()
{
    if (!m_busAddress.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
}

QDBusConnection FreedesktopNotifications::bus()
{
    if (m_busAddress.isEmpty())
        return QDBusConnection::sessionBus();
    QDBusConnection existing(m_connectionName);
    if (existing.isConnected())
        return existing;
    // A connection that failed before stays registered under its name: drop it and try again.
    QDBusConnection::disconnectFromBus(m_connectionName);
    m_listening = false;
    return QDBusConnection::connectToBus(m_busAddress, m_connectionName);
}

void FreedesktopNotifications::notify(const QString& title, const QStringList& lines,
                                      std::function<void()> onClicked)
{
    QDBusConnection connection = bus();
    if (!connection.isConnected())
        return;
    if (!m_listening)
        m_listening = connection.connect(kService, kPath, kInterface, u"ActionInvoked"_s, this,
                                         SLOT(onActionInvoked(uint, QString)));
    const quint64 call = ++m_sent;
    m_onClicked = std::move(onClicked);
    const bool clickable = bool(m_onClicked);
    // Whether the service reads markup decides how the body is written; asked each time, since
    // the service may have been replaced meanwhile.
    const QDBusMessage ask =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, u"GetCapabilities"_s);
    auto* watcher = new QDBusPendingCallWatcher(connection.asyncCall(ask, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, call, title, lines, clickable] {
                watcher->deleteLater();
                const QDBusPendingReply<QStringList> capabilities = *watcher;
                if (call != m_sent || capabilities.isError())
                    return;
                send(title, lines, capabilities.value().contains(u"body-markup"_s), clickable);
            });
}

void FreedesktopNotifications::send(const QString& title, const QStringList& lines, bool markup,
                                    bool clickable)
{
    QStringList body;
    for (const QString& line : lines.first(std::min(lines.size(), kMaxLines))) {
        const QString plain = boundedLine(line, kMaxLineChars);
        body.append(markup ? escapeMarkup(plain) : plain);
    }
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, u"Notify"_s);
    const QStringList actions = clickable ? QStringList{u"default"_s, u"開く"_s} : QStringList();
    message << u"ペルモラ"_s << m_shownId << QString() << boundedLine(title, kMaxTitleChars)
            << body.join(u'\n') << actions << QVariantMap{{u"desktop-entry"_s, u"pelmora"_s}}
            << qint32(-1);
    const quint64 call = m_sent;
    auto* watcher = new QDBusPendingCallWatcher(bus().asyncCall(message, kCallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, call] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> id = *watcher;
        if (!id.isError() && call == m_sent)
            m_shownId = id.value();
    });
}

void FreedesktopNotifications::onActionInvoked(uint id, const QString& action)
{
    if (id == 0 || id != m_shownId || action != u"default"_s || !m_onClicked)
        return;
    // The handler may show another notification: run a copy.
    const std::function<void()> handler = m_onClicked;
    handler();
}

} // namespace pelmora::platform
