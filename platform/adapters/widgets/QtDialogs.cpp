#include "platform/adapters/widgets/QtDialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>

namespace pelmora::platform {

namespace {
void prepare(QMessageBox& box, const QString& prompt, int style, const QString& title)
{
    box.setWindowTitle(title);
    // Prompts carry server replies and file paths: shown as they are, tags and all, never as a
    // page with links or pictures. The text can still be selected, to copy it.
    box.setTextFormat(Qt::PlainText);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.setText(prompt);
    switch (style & 0x70) {
    case msgbox::kCritical: box.setIcon(QMessageBox::Critical); break;
    case msgbox::kQuestion: box.setIcon(QMessageBox::Question); break;
    case msgbox::kExclamation: box.setIcon(QMessageBox::Warning); break;
    case msgbox::kInformation: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    if ((style & 0x0F) == msgbox::kYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
}
} // namespace

void QtMessageBox::msgBoxModeless(const QString& prompt, int style, const QString& title)
{
    auto* box = new QMessageBox;
    prepare(*box, prompt, style & 0x70, title);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

int QtMessageBox::msgBox(const QString& prompt, int style, const QString& title)
{
    QMessageBox box;
    prepare(box, prompt, style, title);
    const int answer = box.exec();
    switch (answer) {
    case QMessageBox::Yes: return msgbox::kAnswerYes;
    case QMessageBox::No: return msgbox::kAnswerNo;
    case QMessageBox::Cancel: return msgbox::kAnswerCancel;
    default: return msgbox::kAnswerOk;
    }
}

QString QtFileDialog::showOpen(QWidget* parent)
{
    const QString chosen = QFileDialog::getOpenFileName(parent, QString(), m_fileName);
    if (!chosen.isEmpty())
        m_fileName = chosen;
    return m_fileName;
}

bool DetachedProgramLauncher::shell(const QString& path, int)
{
    // The path names the program alone; it is not split into arguments.
    return QProcess::startDetached(path, {});
}

bool DesktopHomepageBrowser::navigate(const QUrl& address)
{
    return QDesktopServices::openUrl(address);
}

} // namespace pelmora::platform
