#pragma once

#include "platform/ports/Mailbox.h"

namespace pelmora::platform {

// Whether the server name the user typed names an IMAP server: imap://, imap+starttls:// or
// imaps:// (letter case ignored). Every other name is a POP3 server's.
bool namesImapServer(const QString& typed);

// The mailbox the program uses: each session goes to the IMAP mailbox or the POP3 mailbox by the
// server name it is opened with. Neither is owned.
class MailboxByServerName final : public Mailbox {
public:
    MailboxByServerName(Mailbox& imap, Mailbox& pop3) : m_imap(imap), m_pop3(pop3) {}

    std::unique_ptr<MailboxSession> open(const QString& server, QString* failure) override
    {
        return (namesImapServer(server) ? m_imap : m_pop3).open(server, failure);
    }
    bool canWatch(const QString& server) const override
    {
        return (namesImapServer(server) ? m_imap : m_pop3).canWatch(server);
    }
    std::unique_ptr<MailboxWatch> watch(const QString& server,
                                        const MailboxCredentials& credentials,
                                        MailboxWatch::Listener listener) override
    {
        return (namesImapServer(server) ? m_imap : m_pop3)
            .watch(server, credentials, std::move(listener));
    }
    void closeAll() override
    {
        m_imap.closeAll();
        m_pop3.closeAll();
    }

private:
    Mailbox& m_imap;
    Mailbox& m_pop3;
};

} // namespace pelmora::platform
