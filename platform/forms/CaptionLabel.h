#pragma once

#include <QImage>
#include <QLabel>

namespace pelmora::platform {

// A plain-text label that looks exactly like a QLabel (a line left aligned, centred vertically,
// clipped by its box) but draws its text once instead of at every paint. QLabel shapes, lays out
// and rasterises its text anew each time it paints, which for the caption moved every 20 ms was
// the largest part of the program's own work at rest. Here the text is drawn once into a
// transparent picture, as QLabel would draw it, whenever the text, the font, the colour or the
// size changes; a paint only lays the picture's inked part over what is beneath. Blending a
// glyph's coverage over the background gives the same pixels whether it is done at once or
// through the transparent picture, so nothing on screen changes. Texts that are not one plain
// line (line breaks, tabs) are drawn as QLabel draws them.
//
// The text need not fill the label: it is laid out in a box of its own inside the label
// (setTextBox), and a scrolling caption moves that box rather than the label. Moving a child
// widget makes Qt work out again, at every step, which of the window's widgets hide others;
// moving the box only repaints where the text was and where it is.
class CaptionLabel final : public QLabel {
    Q_OBJECT
public:
    explicit CaptionLabel(const QString& text, QWidget* parent = nullptr);

    // The text's box: from `left` (pixels, may lie outside the label) and `width` wide, the
    // label's height. A width of 0 or less makes the box the whole label (the default).
    void setTextBox(int left, int width);
    QRect textBox() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Draws the text into the picture when anything it depends on changed; false for a text
    // that is drawn as QLabel draws it.
    bool prepare();
    int textFlags() const;
    // Where painting the text touches the label, with the box at its present place.
    QRect touchedPart();

    QImage m_picture;
    QRect m_inked; // the part of the picture the text covers
    QString m_pictureText;
    QSize m_pictureSize;
    QColor m_pictureColour;
    qreal m_pictureScale = 0;
    Qt::Alignment m_pictureAlignment;
    bool m_oneLine = false;
    bool m_fontChanged = true;
    int m_boxLeft = 0;
    int m_boxWidth = 0;
};

} // namespace pelmora::platform
