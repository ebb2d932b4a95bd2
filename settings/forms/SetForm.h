#pragma once

#include "settings/MainWindowIntervalView.h"
#include "settings/SettingsStore.h"

#include "platform/forms/Form.h"
#include "platform/ports/MessageBox.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace pelmora::settings {

// The preferences dialog "設定". Its three inputs are the live preferences the rest of the program
// reads at any moment, shown or hidden: Check1 (hang up after each check), Text2 (the check
// interval in minutes, as typed) and Check2 (the notice board closes itself after one second).
class SetForm : public platform::Form {
    Q_OBJECT
public:
    SetForm(const SettingsStore& store, MainWindowIntervalView& mainWindow, DialogOpener& dialogs,
            platform::MessageBox& messageBox, QWidget* parent = nullptr);

    // Reads NUMBER, NUMBER2 and NUMBER4 into the three inputs.
    void Form_Load() override;

    bool Check1() const;
    void setCheck1(bool on);
    QString Text2() const;
    void setText2(const QString& text);
    bool Check2() const;
    void setCheck2(bool on);

    // The close box (the dialog has no OK or Cancel): stores the three inputs, then unloads. A
    // write that fails is told, and the dialog stays open with its inputs as they are.
    void Form_Unload();

    // Runs on every change of the interval text, by the user or by the program: the arming rule
    // for the main window, and storing the interval when it reads 0.
    void Text2_Change();

    void Command1_Click(); // "ID/PASS": the account dialog
    void Command2_Click(); // "POPサーバー": the server settings dialog

protected:
    void closeBoxPressed() override { Form_Unload(); }

private:
    void buildLayout();

    const SettingsStore& m_store;
    MainWindowIntervalView& m_mainWindow;
    DialogOpener& m_dialogs;
    platform::MessageBox& m_messageBox;

    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
    QCheckBox* m_check1 = nullptr;
    QLineEdit* m_text2 = nullptr;
    QCheckBox* m_check2 = nullptr;
};

} // namespace pelmora::settings
