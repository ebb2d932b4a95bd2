#include "platform/forms/Form.h"

#include "platform/forms/Twips.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

namespace pelmora::platform {

Form::Form(QWidget* parent) : QDialog(parent)
{
    setModal(false);
}

void Form::setUpFixedFrame(const QString& name, const QString& caption, Frame frame,
                           int widthTwips, int heightTwips)
{
    setObjectName(name);
    setWindowTitle(caption);
    setWindowFlags((frame == Frame::Dialog ? Qt::Dialog : Qt::Window) | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twipsToPixels(widthTwips), twipsToPixels(heightTwips));
}

void Form::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    hide();
    Q_EMIT unloaded();
    deleteLater();
}

void Form::closeEvent(QCloseEvent* event)
{
    // Qt must not hide the window on its own: the form decides what its close box means.
    event->ignore();
    if (!m_unloaded)
        closeBoxPressed();
}

void Form::keyPressEvent(QKeyEvent* event)
{
    // Enter on a focused button presses that button, not the form's default one; elsewhere it
    // presses the default button, if the form has one.
    const bool enter = (event->key() == Qt::Key_Return && event->modifiers() == Qt::NoModifier) ||
                       (event->key() == Qt::Key_Enter &&
                        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier);
    auto* focused = qobject_cast<QPushButton*>(focusWidget());
    if (enter && focused && focused->isVisible() && focused->isEnabled()) {
        focused->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void Form::reject()
{
    // QDialog routes Esc here; the close box comes through closeEvent instead.
    if (!m_unloaded)
        escapePressed();
}

} // namespace pelmora::platform
