#pragma once

#include "settings/NoticeOptions.h"

#include "platform/WriteResult.h"
#include "platform/forms/Form.h"
#include "platform/ports/MessageBox.h"

#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;

namespace pelmora::settings {

// The window "オプション": whether only mail not announced before counts as new (Check1), whether
// new mail raises a desktop notification naming senders and subjects (Check2), and
// "通知済みを忘れる" (Command1), after which every message counts as new again. Each box is saved as
// soon as it changes; a box whose change could not be saved is told and turned back.
class NoticeOptionsWindow : public platform::Form {
    Q_OBJECT
public:
    // What the window does to the record of announced mail, which the mail check keeps.
    struct AnnouncedRecord {
        // "Only new mail" has just been turned on: the next check takes the mail on the server
        // then as announced.
        std::function<platform::WriteResult()> startOver;
        // Every message counts as new again.
        std::function<platform::WriteResult()> forget;
    };

    NoticeOptionsWindow(const NoticeOptionsFile& file, AnnouncedRecord record,
                        platform::MessageBox& messageBox, QWidget* parent = nullptr);

    // Ticks the boxes as the file says.
    void loadContents() override;

    void forgetAnnounced(); // Command1

protected:
    void escapePressed() override { unload(); }

private:
    void buildLayout();
    void boxChanged(QCheckBox* box);
    NoticeOptions shownOptions() const;

    const NoticeOptionsFile& m_file;
    AnnouncedRecord m_record;
    platform::MessageBox& m_messageBox;
    QCheckBox* m_onlyNewBox = nullptr;
    QCheckBox* m_notifyBox = nullptr;
    QPushButton* m_forgetCommand = nullptr;
    QPushButton* m_closeCommand = nullptr;
    QLabel* m_state = nullptr;
};

} // namespace pelmora::settings
