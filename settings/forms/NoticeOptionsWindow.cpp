#include "settings/forms/NoticeOptionsWindow.h"

#include "settings/SaveFailure.h"

#include "platform/forms/Widgets.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>

namespace pelmora::settings {

using namespace Qt::StringLiterals;
using platform::makeButton;
using platform::makeCheckBox;
using platform::makeLabel;

NoticeOptionsWindow::NoticeOptionsWindow(const NoticeOptionsFile& file, AnnouncedRecord record,
                                         platform::MessageBox& messageBox, QWidget* parent)
    : Form(parent), m_file(file), m_record(std::move(record)), m_messageBox(messageBox)
{
    buildLayout();
    for (QCheckBox* box : {m_onlyNewBox, m_notifyBox})
        connect(box, &QCheckBox::toggled, this, [this, box] { boxChanged(box); });
    connect(m_forgetCommand, &QPushButton::clicked, this, [this] { forgetAnnounced(); });
    connect(m_closeCommand, &QPushButton::clicked, this, [this] { unload(); });
}

void NoticeOptionsWindow::buildLayout()
{
    setUpFixedFrame(u"NoticeOptionsForm"_s, u"オプション"_s, Frame::Dialog, 4200, 2280);
    m_onlyNewBox = makeCheckBox(this, u"Check1"_s, u"新着だけを知らせる(&N)"_s, {240, 240, 3720, 300});
    m_notifyBox =
        makeCheckBox(this, u"Check2"_s, u"差出人と件名を通知する(&S)"_s, {240, 660, 3720, 300});
    m_forgetCommand =
        makeButton(this, u"Command1"_s, u"通知済みを忘れる(&F)"_s, {240, 1140, 2160, 372});
    m_closeCommand = makeButton(this, u"Command2"_s, u"閉じる"_s, {2880, 1140, 1080, 372});
    m_closeCommand->setDefault(true);
    m_state = makeLabel(this, u"Label1"_s, QString(), {240, 1680, 3720, 255});
}

void NoticeOptionsWindow::loadContents()
{
    const NoticeOptions options = m_file.read();
    const QSignalBlocker onlyNew(m_onlyNewBox);
    const QSignalBlocker notify(m_notifyBox);
    m_onlyNewBox->setChecked(options.onlyNewMail);
    m_notifyBox->setChecked(options.notifySenders);
}

NoticeOptions NoticeOptionsWindow::shownOptions() const
{
    return {m_onlyNewBox->isChecked(), m_notifyBox->isChecked()};
}

void NoticeOptionsWindow::boxChanged(QCheckBox* box)
{
    m_state->clear();
    const platform::WriteResult saved = m_file.write(shownOptions());
    if (!saved) {
        tellSaveFailure(m_messageBox, {m_file.path(), saved.reason});
        const QSignalBlocker blocker(box);
        box->setChecked(!box->isChecked());
        return;
    }
    // Begun afresh only once the option is stored; turning it off leaves the record as it is.
    if (box == m_onlyNewBox && box->isChecked()) {
        if (const platform::WriteResult begun = m_record.startOver(); !begun)
            m_state->setText(u"通知済みの記録を消せませんでした: %1"_s.arg(begun.reason));
    }
}

void NoticeOptionsWindow::forgetAnnounced()
{
    const platform::WriteResult done = m_record.forget();
    if (!done) {
        m_state->setText(u"忘れられませんでした: %1"_s.arg(done.reason));
        return;
    }
    m_state->setText(u"通知済みのメールを忘れました。"_s);
}

} // namespace pelmora::settings
