#pragma once

#include <QString>

namespace pelmora::mail {

// What the mail check and its announcer read, write and call of the program's windows. The
// application implements these over its windows; the mail subsystem never sees the windows
// themselves.

// The main window's choice of what new mail does.
class MailProgramView {
public:
    virtual ~MailProgramView() = default;
    // On new mail, start the mail program instead of showing the board and the alert.
    virtual bool startsMailProgram() const = 0;
    virtual QString mailProgramPath() const = 0; // "未設定" while none is chosen
};

// The account dialog's two text boxes.
class AccountDialogView {
public:
    virtual ~AccountDialogView() = default;
    // Whether the dialog is on screen, where the user may be typing into it.
    virtual bool isShown() const = 0;
    // Write the boxes, creating the dialog hidden (and loading it) if it is not loaded.
    virtual void setIdText(const QString& text) = 0;
    virtual void setPassText(const QString& text) = 0;
    // Show it modeless, creating it if needed; the caller goes on at once.
    virtual void show() = 0;
};

// The notice board.
class NoticeBoardView {
public:
    virtual ~NoticeBoardView() = default;
    // Setting a text creates (and loads) the board if it is not loaded.
    virtual void setMessage(const QString& text) = 0;
    virtual void setCount(const QString& text) = 0;
    virtual void show() = 0;
    // Unloads the board if it is loaded; the user may have closed it already.
    virtual void unload() = 0;
};

} // namespace pelmora::mail
