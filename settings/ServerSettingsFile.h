#pragma once

#include "settings/ProgramValues.h"

#include "platform/WriteResult.h"
#include "platform/ports/AnsiCodec.h"

#include <QString>

namespace pelmora::settings {

// vbmail.ini: the server settings, four "PREFIX=value" lines in the ANSI code page. It is looked
// up by its bare name, so it lives in the current directory of the moment, not in the program
// folder.
class ServerSettingsFile {
public:
    static constexpr qsizetype kMaxValueLength = 100; // characters kept of a value on loading

    explicit ServerSettingsFile(const platform::AnsiCodec& codec,
                                QString fileName = QStringLiteral("vbmail.ini"));

    // Loads SMTP=, POP3=, MAIL= and APOP= lines into the four server values. The prefixes match
    // exactly (case included, at the very start of the line); other lines are skipped; a later
    // line replaces an earlier one; a value keeps at most its first 100 characters. Lines may end
    // in CR LF, LF or CR. Without the file nothing changes.
    void load(ProgramValues& values) const;

    // Rewrites the file as exactly four lines, SMTP, POP3, MAIL, APOP, each ended by CR LF, the
    // values whole. The file is replaced in one step, so a failed write leaves the old one intact.
    // Answers whether the file was written, and if not, why.
    platform::WriteResult save(const ProgramValues& values) const;

    // The file's full path, in the current directory of the moment.
    QString path() const;

private:
    const platform::AnsiCodec& m_codec;
    QString m_fileName;
};

} // namespace pelmora::settings
