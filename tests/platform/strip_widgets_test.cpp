// The bottom strip's widgets draw what plain Qt widgets would, pixel for pixel: the caption label
// keeps its laid-out line between paints and moves it inside itself, and the picture frame copies
// its picture without going through the style.

#include "platform/forms/CaptionLabel.h"
#include "platform/forms/JapaneseFont.h"
#include "platform/forms/PictureFrame.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTest>

using namespace Qt::StringLiterals;
using pelmora::platform::CaptionLabel;
using pelmora::platform::PictureFrame;

class StripWidgetsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void captionDrawsAsAPlainLabel();
    void captionMovedInsideDrawsAsALabelMoved();
    void pictureFrameDrawsAsAPictureLabel();
};

namespace {
// A widget's picture over a striped, coloured background (so blending shows), as its parent's
// painting would leave it in a window's picture of either kind.
QImage pictureOf(QWidget& widget, QImage::Format format = QImage::Format_RGB32)
{
    QImage picture(widget.size(), format);
    QPainter painter(&picture);
    for (int x = 0; x < picture.width(); x += 3)
        painter.fillRect(x, 0, 3, picture.height(), QColor::fromHsv((x * 7) % 360, 200, 90 + x % 60));
    widget.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    return picture;
}

const QStringList kTexts{u"インターバルチェック"_s, u"未設定"_s, u"設定されていません。"_s,
                         u"Sylpheed"_s, u"thunderbird-esr  "_s, u"מייל Mail メール"_s,
                         u"a very long mail program name that the label cuts off.exe"_s,
                         u"two\nlines"_s, u"tab\there"_s, QString()};

void setColour(QWidget& widget, const QColor& colour)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, colour);
    widget.setPalette(palette);
}
} // namespace

void StripWidgetsTest::captionDrawsAsAPlainLabel()
{
    QLabel plain;
    plain.setTextFormat(Qt::PlainText);
    CaptionLabel caption(QString{});
    // The same caption through every font, size and colour: what it keeps must follow them.
    for (const QFont& font : {pelmora::platform::japaneseGothicFont(11.25, true), QFont()}) {
        for (const int height : {17, 9, 30}) {
            for (const QColor& colour : {QColor(0xFF, 0xFF, 0x00), QColor(0x20, 0x60, 0xC0)}) {
                for (QLabel* label : {&plain, static_cast<QLabel*>(&caption)}) {
                    label->setFont(font);
                    label->resize(161, height);
                    setColour(*label, colour);
                }
                for (const QString& text : kTexts) {
                    plain.setText(text);
                    caption.setText(text);
                    const QString what =
                        u"%1 at %2 px high in %3"_s.arg(text).arg(height).arg(font.family());
                    for (const auto format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied})
                        QVERIFY2(pictureOf(caption, format) == pictureOf(plain, format), qPrintable(what));
                }
            }
        }
    }
}

// A caption label as wide as the strip with its text's box at x looks like a plain label of the
// box's width placed at x in the strip: cut off by either end, wherever the box has moved from.
void StripWidgetsTest::captionMovedInsideDrawsAsALabelMoved()
{
    QWidget strip;
    strip.resize(201, 17);
    QLabel plain(&strip);
    plain.setTextFormat(Qt::PlainText);
    plain.resize(161, 17);
    QWidget lane;
    lane.resize(strip.size());
    CaptionLabel caption(QString{}, &lane);
    caption.resize(lane.size());
    for (QLabel* label : {&plain, static_cast<QLabel*>(&caption)}) {
        label->setFont(pelmora::platform::japaneseGothicFont(11.25, true));
        setColour(*label, QColor(0xFF, 0xFF, 0x00));
    }
    for (const QString& text : kTexts) {
        plain.setText(text);
        caption.setText(text);
        for (const int x : {184, 100, 3, 0, -1, -100, -160, 200}) {
            plain.move(x, 0);
            caption.setTextBox(x, plain.width());
            QCOMPARE(caption.textBox(), plain.geometry());
            QVERIFY2(pictureOf(lane) == pictureOf(strip), qPrintable(u"%1 at %2"_s.arg(text).arg(x)));
        }
    }
    caption.setTextBox(0, 0); // no width: the whole label again
    QCOMPARE(caption.textBox(), caption.rect());
}

void StripWidgetsTest::pictureFrameDrawsAsAPictureLabel()
{
    QImage stripes(240, 40, QImage::Format_RGB32);
    for (int x = 0; x < stripes.width(); ++x)
        for (int y = 0; y < stripes.height(); ++y)
            stripes.setPixel(x, y, qRgb(x, 255 - x, (x * y) % 256));
    QImage seeThrough = stripes.convertToFormat(QImage::Format_ARGB32);
    seeThrough.setPixel(5, 5, qRgba(0, 0, 0, 0));

    for (const QImage& image : {stripes, seeThrough, stripes.copy(0, 0, 100, 10)}) {
        const QPixmap picture = QPixmap::fromImage(image);
        QWidget labelParent;
        labelParent.resize(201, 20);
        QLabel label(&labelParent);
        label.setPixmap(picture);
        label.setGeometry(QRect(QPoint(0, 0), picture.size()));
        PictureFrame frame;
        frame.resize(labelParent.size());
        frame.setPicture(picture);
        QCOMPARE(pictureOf(frame), pictureOf(labelParent));
        // Only a picture that hides all beneath it spares the painting of what is beneath.
        const bool covers = !image.hasAlphaChannel() && image.width() >= 201 && image.height() >= 20;
        QCOMPARE(frame.testAttribute(Qt::WA_OpaquePaintEvent), covers);
    }
}

QTEST_MAIN(StripWidgetsTest)
#include "strip_widgets_test.moc"
