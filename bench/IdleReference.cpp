// What a minimal Qt program costs doing what Pelmora's main window does at rest, for the idle
// figures of scripts/bench: a window of the given size whose bottom strip holds a caption moved
// every 20 ms (1000 twips a second, wrapping like the main window's) and a 16 x 16 picture that
// changes every second. Moving the caption repaints only where it was and where it is.
//
//   pelmora-idle-reference WIDTH HEIGHT

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int kStripHeight = 20;

QPixmap lamp(const QColor& colour)
{
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(colour);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(1, 1, 14, 14);
    return picture;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int width = args.size() > 2 ? args[1].toInt() : 0;
    const int height = args.size() > 2 ? args[2].toInt() : 0;
    if (width < 40 || height < kStripHeight + 10) {
        std::fprintf(stderr, "usage: pelmora-idle-reference WIDTH HEIGHT\n");
        return 2;
    }
    QWidget window;
    window.setWindowTitle(u"Pelmora idle reference"_s);
    window.setFixedSize(width, height);
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor(0x00, 0x40, 0x00));
    window.setPalette(palette);

    auto* caption = new QLabel(u"未設定"_s, &window);
    QFont font = caption->font();
    font.setPointSizeF(11.25);
    font.setBold(true);
    caption->setFont(font);
    caption->setStyleSheet(u"color: #FFFF00"_s);
    caption->resize(161, 17);
    const int captionTop = height - kStripHeight;

    auto* picture = new QLabel(&window);
    const QPixmap green = lamp(Qt::green), red = lamp(Qt::red);
    picture->setPixmap(green);
    picture->setGeometry(0, height - kStripHeight, 16, 16);

    // Twips, as the main window counts: 20 twips every 20 ms, from 2760 down to -1500.
    int left = 2760;
    QTimer captionTimer;
    QObject::connect(&captionTimer, &QTimer::timeout, &window, [&] {
        left = left == -1500 ? 2760 : left - 20;
        caption->move(left >= 0 ? (left + 7) / 15 : -((-left + 7) / 15), captionTop);
    });
    captionTimer.start(20);
    bool lit = false;
    QTimer lampTimer;
    QObject::connect(&lampTimer, &QTimer::timeout, &window, [&] {
        lit = !lit;
        picture->setPixmap(lit ? red : green);
    });
    lampTimer.start(1000);

    window.show();
    return app.exec();
}
