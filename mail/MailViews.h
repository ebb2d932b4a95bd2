#pragma once

#include <QString>

namespace pelmora::mail {

// What the mail check reads, writes and calls of the program's windows. The
// application implements these over its windows; the mail subsystem never sees the windows
// themselves.

// The main window, as the check sees it.
class CheckWindowView {
public:
    virtual ~CheckWindowView() = default;
    virtual bool Check2() const = 0;   // on new mail, start the mail program instead of the alert
    virtual QString Text7() const = 0; // the mail program's path, or "未設定"
    virtual void Command2_Click() = 0; // start the alert
    virtual void Command5_Click() = 0; // hang up every dial-up connection
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
    virtual void setText1(const QString& text) = 0;
    virtual void setText2(const QString& text) = 0;
    virtual void show() = 0;
    // Unloads the board if it is loaded; the user may have closed it already.
    virtual void unload() = 0;
};

} // namespace pelmora::mail
