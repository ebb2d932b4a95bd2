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

    m_text1 = platform::makeTextBox(this, u"Text1"_s, {0, 0, 3135, 270});
    m_text1->setAlignment(Qt::AlignCenter);
    m_text1->setReadOnly(true);
    platform::setBackgroundColor(m_text1, QColor(0, 0, 255));
    platform::setTextColor(m_text1, Qt::white);
    m_text1->setText(u"新着メールがあります。"_s);

    m_text2 = platform::makeTextBox(this, u"Text2"_s, {3120, 0, 495, 270});
    m_text2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_text2->setReadOnly(true);
    m_text2->setAccessibleName(u"件数"_s);
    m_text1->setAccessibleName(windowTitle());
}

void NoticeBoard::Form_Load()
{
    m_positioner.setWindowPos(this, platform::InsertAfter::Topmost, 0, 0, 0, 0,
                              platform::kSwpKeepGeometryAndShow);
}

QString NoticeBoard::Text1() const { return m_text1->text(); }
void NoticeBoard::setText1(const QString& text) { m_text1->setText(text); }
QString NoticeBoard::Text2() const { return m_text2->text(); }
void NoticeBoard::setText2(const QString& text) { m_text2->setText(text); }

} // namespace pelmora::alert
