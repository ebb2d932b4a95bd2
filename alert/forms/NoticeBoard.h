#pragma once

#include "platform/forms/Form.h"
#include "platform/ports/WindowPositioner.h"

class QLineEdit;

namespace pelmora::alert {

// The notice board "新着お知らせボード": a small always-on-top window that says new mail has
// arrived and how many messages there are. One board serves the whole program; it
// is created the first time its texts are set and stays until the user closes it or the mail
// check unloads it.
class NoticeBoard : public platform::Form {
    Q_OBJECT
public:
    explicit NoticeBoard(platform::WindowPositioner& positioner, QWidget* parent = nullptr);

    // Puts the board above all normal windows and shows it.
    void loadContents() override;

    QString message() const;
    void setMessage(const QString& text);
    QString count() const;
    void setCount(const QString& text);

protected:
    // Esc closes the board, as its close box does.
    void escapePressed() override { unload(); }

private:
    void buildLayout();

    platform::WindowPositioner& m_positioner;
    QLineEdit* m_message = nullptr;
    QLineEdit* m_count = nullptr;
};

} // namespace pelmora::alert
