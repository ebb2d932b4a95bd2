#pragma once

#include <QFrame>
#include <QPixmap>

namespace pelmora::platform {

// A frame showing a picture from its top left corner, beneath its children. Each paint copies
// only the part asked for, straight from the picture. A QLabel holding the picture draws it
// through the style at every paint (a style option, the frame, the alignment), which under the
// caption moved every 20 ms was much of the program's work at rest. A picture without
// transparency that covers the whole frame hides what lies beneath, so Qt need not paint that
// first.
class PictureFrame final : public QFrame {
    Q_OBJECT
public:
    explicit PictureFrame(QWidget* parent = nullptr);

    void setPicture(const QPixmap& picture);
    const QPixmap& picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void decideOpaque();

    QPixmap m_picture;
};

} // namespace pelmora::platform
