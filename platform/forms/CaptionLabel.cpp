#include "platform/forms/CaptionLabel.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace pelmora::platform {

namespace {
// Characters QLabel's text drawing treats specially: line breaks, tabs, and the separator of
// length variants.
bool isOnePlainLine(const QString& text)
{
    return std::none_of(text.begin(), text.end(), [](QChar c) {
        return c == u'\n' || c == u'\r' || c == u'\t' || c == QChar(0x9c) ||
               c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
    });
}

// The smallest rectangle holding every pixel of the picture that is not fully transparent.
QRect inkedPart(const QImage& picture)
{
    int left = picture.width(), right = -1, top = picture.height(), bottom = -1;
    for (int y = 0; y < picture.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            if (qAlpha(line[x]) == 0)
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}
} // namespace

CaptionLabel::CaptionLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
}

bool CaptionLabel::prepare()
{
    const QString& now = text();
    const QColor colour = palette().color(foregroundRole());
    const qreal scale = devicePixelRatioF();
    if (!m_fontChanged && m_pictureSize == size() && m_pictureColour == colour &&
        m_pictureScale == scale && m_pictureAlignment == alignment() && now == m_pictureText)
        return m_oneLine;
    m_fontChanged = false;
    m_pictureAlignment = alignment();
    m_pictureSize = size();
    m_pictureColour = colour;
    m_pictureScale = scale;
    m_pictureText = now;
    // Margins, an indent and a frame move the text in ways left to QLabel; so does a text too
    // wide for the label, which QLabel draws through a clip of its own.
    m_oneLine = isOnePlainLine(now) && margin() == 0 && indent() <= 0 && frameWidth() == 0 &&
                QFontMetricsF(font()).horizontalAdvance(now) <= width();
    m_picture = QImage();
    m_inked = QRect();
    if (!m_oneLine || now.isEmpty() || size().isEmpty())
        return m_oneLine;

    m_picture = QImage(size() * scale, QImage::Format_ARGB32_Premultiplied);
    m_picture.setDevicePixelRatio(scale);
    m_picture.fill(Qt::transparent);
    {
        QPainter painter(&m_picture);
        painter.setFont(font());
        painter.setPen(colour);
        // What QLabel's style draws for a plain, enabled label: aligned and laid out in the
        // direction of its text.
        const Qt::LayoutDirection direction = now.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
        const int flags = QStyle::visualAlignment(direction, alignment()) |
                          (direction == Qt::LeftToRight ? Qt::TextForceLeftToRight
                                                        : Qt::TextForceRightToLeft);
        painter.drawText(rect(), flags, now);
    }
    const QRect inked = inkedPart(m_picture);
    m_inked = QRectF(QPointF(inked.topLeft()) / scale, QSizeF(inked.size()) / scale)
                  .toAlignedRect()
                  .intersected(rect());
    return true;
}

void CaptionLabel::paintEvent(QPaintEvent* event)
{
    if (!isEnabled() || !prepare()) {
        QLabel::paintEvent(event);
        return;
    }
    const QRect part = m_inked.intersected(event->rect());
    if (part.isEmpty())
        return;
    QPainter painter(this);
    painter.drawImage(part, m_picture, QRectF(QPointF(part.topLeft()) * m_pictureScale,
                                              QSizeF(part.size()) * m_pictureScale));
}

void CaptionLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::LayoutDirectionChange)
        m_fontChanged = true;
    QLabel::changeEvent(event);
}

} // namespace pelmora::platform
