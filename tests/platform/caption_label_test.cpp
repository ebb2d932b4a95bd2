// The caption label draws its text as a plain QLabel would, pixel for pixel, over whatever lies
// beneath it: it only keeps the laid-out line between paints.

#include "platform/forms/CaptionLabel.h"
#include "platform/forms/JapaneseFont.h"

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTest>

using namespace Qt::StringLiterals;
using pelmora::platform::CaptionLabel;

class CaptionLabelTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void drawsAsAPlainLabel();
};

namespace {
// A label's picture over a striped, coloured background (so blending shows), as its parent's
// painting would leave it in a window's picture of either kind.
QImage pictureOf(QLabel& label, QImage::Format format)
{
    QImage picture(label.size(), format);
    QPainter painter(&picture);
    for (int x = 0; x < picture.width(); x += 3)
        painter.fillRect(x, 0, 3, picture.height(), QColor::fromHsv((x * 7) % 360, 200, 90 + x % 60));
    label.render(&painter, QPoint(), QRegion(), QWidget::DrawChildren);
    return picture;
}
} // namespace

void CaptionLabelTest::drawsAsAPlainLabel()
{
    const QStringList texts{u"インターバルチェック"_s, u"未設定"_s, u"設定されていません。"_s,
                            u"Sylpheed"_s, u"thunderbird-esr  "_s, u"מייל Mail メール"_s,
                            u"a very long mail program name that the label cuts off.exe"_s,
                            u"two\nlines"_s, u"tab\there"_s, QString()};
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
                    QPalette palette = label->palette();
                    palette.setColor(QPalette::WindowText, colour);
                    label->setPalette(palette);
                }
                for (const QString& text : texts) {
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

QTEST_MAIN(CaptionLabelTest)
#include "caption_label_test.moc"
