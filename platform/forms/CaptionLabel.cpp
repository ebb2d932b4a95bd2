#include "platform/forms/CaptionLabel.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextOption>

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
} // namespace

CaptionLabel::CaptionLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setTextFormat(Qt::PlainText);
    m_line.setTextFormat(Qt::PlainText);
    // The glyphs' positions are kept with the layout, so a paint shapes nothing.
    m_line.setPerformanceHint(QStaticText::AggressiveCaching);
}

bool CaptionLabel::prepare()
{
    const QString& now = text();
    if (!m_fontChanged && m_lineHeightFor == height() && now == m_lineText)
        return m_oneLine;
    m_fontChanged = false;
    m_lineHeightFor = height();
    m_lineText = now;
    m_oneLine = isOnePlainLine(now);
    if (!m_oneLine)
        return false;
    // As QPainter::drawText lays out a label's line: in the painter's direction, trailing spaces
    // kept, never wrapped.
    QTextOption option;
    option.setTextDirection(layoutDirection());
    option.setFlags(QTextOption::IncludeTrailingSpaces);
    option.setWrapMode(QTextOption::NoWrap);
    m_line.setTextOption(option);
    m_line.setText(now);
    m_line.prepare(QTransform(), font());
    const QFontMetricsF metrics(font());
    m_top = (height() - (metrics.ascent() + metrics.descent())) / 2;
    return true;
}

void CaptionLabel::paintEvent(QPaintEvent* event)
{
    if (!isEnabled() || !prepare()) {
        QLabel::paintEvent(event);
        return;
    }
    if (m_lineText.isEmpty())
        return;
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.drawStaticText(QPointF(0, m_top), m_line);
}

void CaptionLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::LayoutDirectionChange)
        m_fontChanged = true;
    QLabel::changeEvent(event);
}

} // namespace pelmora::platform
