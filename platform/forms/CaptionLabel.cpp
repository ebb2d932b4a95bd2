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

void CaptionLabel::setTextBox(int left, int width)
{
    if (left == m_boxLeft && width == m_boxWidth)
        return;
    const QRect before = touchedPart();
    m_boxLeft = left;
    m_boxWidth = width;
    update(before | touchedPart());
}

QRect CaptionLabel::textBox() const
{
    if (m_boxWidth <= 0)
        return rect();
    return {m_boxLeft, 0, m_boxWidth, height()};
}

int CaptionLabel::textFlags() const
{
    // What QLabel's style draws for a plain label: aligned, laid out in the direction of its
    // text, tabs expanded.
    const Qt::LayoutDirection direction = text().isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
    return QStyle::visualAlignment(direction, alignment()) | Qt::TextExpandTabs |
           (direction == Qt::LeftToRight ? Qt::TextForceLeftToRight : Qt::TextForceRightToLeft);
}

bool CaptionLabel::prepare()
{
    const QString& now = text();
    const QColor colour = palette().color(foregroundRole());
    const qreal scale = devicePixelRatioF();
    const QSize boxSize = textBox().size();
    if (!m_fontChanged && m_pictureSize == boxSize && m_pictureColour == colour &&
        m_pictureScale == scale && m_pictureAlignment == alignment() && now == m_pictureText)
        return m_oneLine;
    m_fontChanged = false;
    m_pictureAlignment = alignment();
    m_pictureSize = boxSize;
    m_pictureColour = colour;
    m_pictureScale = scale;
    m_pictureText = now;
    // Margins, an indent and a frame move the text in ways left to QLabel; so does a text too
    // wide for its box, which QLabel draws through a clip of its own.
    m_oneLine = isOnePlainLine(now) && margin() == 0 && indent() <= 0 && frameWidth() == 0 &&
                QFontMetricsF(font()).horizontalAdvance(now) <= boxSize.width();
    m_picture = QImage();
    m_inked = QRect();
    if (!m_oneLine || now.isEmpty() || boxSize.isEmpty())
        return m_oneLine;

    m_picture = QImage(boxSize * scale, QImage::Format_ARGB32_Premultiplied);
    m_picture.setDevicePixelRatio(scale);
    m_picture.fill(Qt::transparent);
    {
        QPainter painter(&m_picture);
        painter.setFont(font());
        painter.setPen(colour);
        painter.drawText(QRect(QPoint(0, 0), boxSize), textFlags(), now);
    }
    const QRect inked = inkedPart(m_picture);
    m_inked = QRectF(QPointF(inked.topLeft()) / scale, QSizeF(inked.size()) / scale)
                  .toAlignedRect()
                  .intersected(QRect(QPoint(0, 0), boxSize));
    return true;
}

QRect CaptionLabel::touchedPart()
{
    const QRect box = textBox();
    if (isEnabled() && prepare())
        return m_inked.translated(box.topLeft()).intersected(rect());
    return box.intersected(rect());
}

void CaptionLabel::paintEvent(QPaintEvent* event)
{
    const QRect box = textBox();
    if (isEnabled() && prepare()) {
        const QRect part = m_inked.translated(box.topLeft()).intersected(event->rect());
        if (part.isEmpty())
            return;
        const QRectF source(QPointF(part.topLeft() - box.topLeft()) * m_pictureScale,
                            QSizeF(part.size()) * m_pictureScale);
        QPainter painter(this);
        painter.drawImage(part, m_picture, source);
        return;
    }
    if (box == rect()) {
        QLabel::paintEvent(event);
        return;
    }
    // Moved within the label, a text the picture does not hold is drawn in its box as QLabel
    // draws plain text (its margins and frame are not used then).
    QPainter painter(this);
    painter.setClipRect(box);
    style()->drawItemText(&painter, box, textFlags(), palette(), isEnabled(), text(),
                          foregroundRole());
}

void CaptionLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::LayoutDirectionChange)
        m_fontChanged = true;
    QLabel::changeEvent(event);
}

} // namespace pelmora::platform
