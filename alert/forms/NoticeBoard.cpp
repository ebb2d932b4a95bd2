#include "alert/forms/NoticeBoard.h"

#include "platform/forms/Widgets.h"

#include <QLineEdit>

namespace pelmora::alert {

using namespace Qt::StringLiterals;

NoticeBoard::NoticeBoard(platform::WindowPositioner& positioner, QWidget* parent)
    : Form(parent), m_positioner(positioner)
{
    buildLayout();
}

void NoticeBoard::buildLayout()
{
    setUpFixedFrame(u"MsgForm"_s, u"新着お知らせボード"_s, Frame::Window, 3600, 285);
    // A notice: it appears on top without taking the keyboard from what the user is typing in.
    setAttribute(Qt::WA_ShowWithoutActivating);

    m_message = platform::makeTextBox(this, u"Text1"_s, {0, 0, 3135, 270});
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setReadOnly(true);
    platform::setBackgroundColor(m_message, QColor(0, 0, 255));
    platform::setTextColor(m_message, Qt::white);
    m_message->setText(u"新着メールがあります。"_s);

    m_count = platform::makeTextBox(this, u"Text2"_s, {3120, 0, 495, 270});
    m_count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_count->setReadOnly(true);
    m_count->setAccessibleName(u"件数"_s);
    m_message->setAccessibleName(windowTitle());
}

void NoticeBoard::loadContents()
{
    m_positioner.setWindowPos(this, platform::InsertAfter::Topmost, 0, 0, 0, 0,
                              platform::kSwpKeepGeometryAndShow);
}

QString NoticeBoard::message() const { return m_message->text(); }
void NoticeBoard::setMessage(const QString& text) { m_message->setText(text); }
QString NoticeBoard::count() const { return m_count->text(); }
void NoticeBoard::setCount(const QString& text) { m_count->setText(text); }

} // namespace pelmora::alert
