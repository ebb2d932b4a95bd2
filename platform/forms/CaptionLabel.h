#pragma once

#include <QLabel>
#include <QStaticText>

namespace pelmora::platform {

// A plain-text label that looks exactly like a QLabel (a line left aligned, centred vertically,
// clipped by the label's rectangle) but lays its text out once instead of at every paint. QLabel
// shapes and lays out its text anew each time it paints, which for the caption moved every 20 ms
// was the largest part of the program's own work at rest; here the laid-out line is kept until the
// text, the font or the height changes, and a paint only draws its glyphs. Texts that are not one
// plain line (line breaks, tabs) are left to QLabel, which knows how to place them.
class CaptionLabel final : public QLabel {
    Q_OBJECT
public:
    explicit CaptionLabel(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Lays the text out when it, the font or the height changed; false for a text QLabel draws.
    bool prepare();

    QStaticText m_line;
    QString m_lineText;
    int m_lineHeightFor = -1; // the label's height the line was placed for
    qreal m_top = 0;          // the top of the line, so that its middle is the label's middle
    bool m_oneLine = false;
    bool m_fontChanged = true;
};

} // namespace pelmora::platform
