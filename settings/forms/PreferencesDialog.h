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
// types: the hang-up after each check (Check1), the check interval in minutes as typed (Text2),
// the notice board closing itself after one second (Check2). The values live in the Preferences,
// not here: the dialog need not exist for the program to use them.
class PreferencesDialog : public platform::Form {
    Q_OBJECT
public:
    PreferencesDialog(Preferences& preferences, const SettingsStore& store,
            MainWindowIntervalView& mainWindow, IntervalSwitch& scheduler, DialogOpener& dialogs,
            platform::MessageBox& messageBox, QWidget* parent = nullptr);

    // Shows the preferences as the program uses them now. Showing them changes nothing.
    void loadContents() override;

    bool hangsUpAfterCheck() const;
    void setHangsUpAfterCheck(bool on);
    QString intervalText() const;
    void setIntervalText(const QString& text);
    bool boardErasesItself() const;
    void setBoardErasesItself(bool on);

    // The close box (the dialog has no OK or Cancel): stores the three preferences, which are then
    // read back as stored, and unloads. A write that fails is told, and the dialog stays open
    // with its inputs as they are.
    void saveAndClose();

    // Runs on every change of the interval text, by the user or by the program: the new interval
    // takes effect at once (PreferenceRules::setInterval).
    void intervalEdited();

    void showAccountDialog(); // "ID/PASS"
    void showServerDialog();  // "POPサーバー"

protected:
    void closeBoxPressed() override { saveAndClose(); }

private:
    void buildLayout();

    Preferences& m_preferences;
    PreferenceRules m_rules;
    DialogOpener& m_dialogs;
    platform::MessageBox& m_messageBox;

    QPushButton* m_accountButton = nullptr;
    QPushButton* m_serverButton = nullptr;
    QCheckBox* m_hangUpBox = nullptr;
    QLineEdit* m_intervalBox = nullptr;
    QCheckBox* m_boardBox = nullptr;
};

} // namespace pelmora::settings
