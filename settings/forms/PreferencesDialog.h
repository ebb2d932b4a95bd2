#pragma once

#include "settings/MainWindowIntervalView.h"
#include "settings/Preferences.h"
#include "settings/SettingsStore.h"

#include "platform/forms/Form.h"
#include "platform/ports/MessageBox.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace pelmora::settings {

// The preferences dialog "設定": shows the program's preferences and edits them as the user
// types. Check1 is the hang-up after each check, Text2 the check interval in minutes as typed,
// Check2 the notice board closing itself after one second. The values live in the Preferences,
// not here: the dialog need not exist for the program to use them.
class PreferencesDialog : public platform::Form {
    Q_OBJECT
public:
    PreferencesDialog(Preferences& preferences, const SettingsStore& store,
            MainWindowIntervalView& mainWindow, DialogOpener& dialogs,
            platform::MessageBox& messageBox, QWidget* parent = nullptr);

    // Shows the preferences as the program uses them now. Showing them changes nothing.
    void Form_Load() override;

    bool Check1() const;
    void setCheck1(bool on);
    QString Text2() const;
    void setText2(const QString& text);
    bool Check2() const;
    void setCheck2(bool on);

    // The close box (the dialog has no OK or Cancel): stores the three preferences, which are then
    // read back as stored, and unloads. A write that fails is told, and the dialog stays open
    // with its inputs as they are.
    void Form_Unload();

    // Runs on every change of the interval text, by the user or by the program: the new interval
    // takes effect at once (PreferenceRules::setInterval).
    void Text2_Change();

    void Command1_Click(); // "ID/PASS": the account dialog
    void Command2_Click(); // "POPサーバー": the server settings dialog

protected:
    void closeBoxPressed() override { Form_Unload(); }

private:
    void buildLayout();

    Preferences& m_preferences;
    PreferenceRules m_rules;
    DialogOpener& m_dialogs;
    platform::MessageBox& m_messageBox;

    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
    QCheckBox* m_check1 = nullptr;
    QLineEdit* m_text2 = nullptr;
    QCheckBox* m_check2 = nullptr;
};

} // namespace pelmora::settings
