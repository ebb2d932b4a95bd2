#pragma once

#include <QString>

#include <cstdint>

namespace pelmora::settings {

// The program-wide values: one instance for the whole run, owned by the application. The four
// server values come from vbmail.ini and the server settings dialog; the account comes from the
// account dialog and, at every check, from iniIdPass.ini.
struct ProgramValues {
    QString SmtpServer;
    QString Pop3Server;
    QString MailAddress;
    QString UserId;
    QString UserPassword;
    std::int16_t ApopFlag = 0; // nonzero: log in with APOP
};

} // namespace pelmora::settings
