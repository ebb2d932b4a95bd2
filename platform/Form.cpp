#include "platform/Form.h"

#include <QCloseEvent>

namespace pelmora::platform {

Form::Form(QWidget* parent) : QDialog(parent)
{
    setModal(false);
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

void Form::reject()
{
    // QDialog routes Esc here; the close box comes through closeEvent instead.
    if (!m_unloaded)
        escapePressed();
}

} // namespace pelmora::platform
