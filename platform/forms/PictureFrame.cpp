#include "platform/forms/PictureFrame.h"

#include <QPaintEvent>
#include <QPainter>

namespace pelmora::platform {

PictureFrame::PictureFrame(QWidget* parent) : QFrame(parent)
{
    setFrameShape(QFrame::NoFrame);
}

void PictureFrame::setPicture(const QPixmap& picture)
{
    m_picture = picture;
    decideOpaque();
    update();
}

void PictureFrame::decideOpaque()
{
    const QSizeF shown = m_picture.deviceIndependentSize();
    const bool covers = !m_picture.isNull() && !m_picture.hasAlpha() &&
                        shown.width() >= width() && shown.height() >= height();
    setAttribute(Qt::WA_OpaquePaintEvent, covers);
}

void PictureFrame::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    decideOpaque();
}

void PictureFrame::paintEvent(QPaintEvent* event)
{
    if (!m_picture.isNull()) {
        const QRect part =
            event->rect().intersected(QRectF(QPointF(0, 0), m_picture.deviceIndependentSize()).toAlignedRect());
        if (!part.isEmpty()) {
            const qreal scale = m_picture.devicePixelRatio();
            QPainter painter(this);
            painter.drawPixmap(part, m_picture,
                               QRectF(QPointF(part.topLeft()) * scale, QSizeF(part.size()) * scale));
        }
    }
    if (frameShape() != QFrame::NoFrame)
        QFrame::paintEvent(event);
}

} // namespace pelmora::platform
