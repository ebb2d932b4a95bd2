#include "platform/forms/Widgets.h"

#include "platform/forms/Twips.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <limits>

namespace pelmora::platform {

using namespace Qt::StringLiterals;

void placeControl(QWidget* widget, const QString& name, const QRect& twips)
{
    widget->setObjectName(name);
    widget->setGeometry(twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

void setBackgroundColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    palette.setColor(QPalette::Base, color);
    palette.setColor(QPalette::Button, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption,
                  const QRect& twips)
{
    auto* label = new QLabel(caption, parent);
    // Some labels show a file name or a setting, which must never be read as a page.
    label->setTextFormat(Qt::PlainText);
    placeControl(label, name, twips);
    return label;
}

QLineEdit* makeTextBox(QWidget* parent, const QString& name, const QRect& twips)
{
    auto* box = new QLineEdit(parent);
    placeControl(box, name, twips);
    box->setMaxLength(std::numeric_limits<int>::max()); // the program sets no length limit
    return box;
}

QCheckBox* makeCheckBox(QWidget* parent, const QString& name, const QString& caption,
                        const QRect& twips)
{
    auto* box = new QCheckBox(caption, parent);
    placeControl(box, name, twips);
    return box;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption,
                        const QRect& twips)
{
    auto* button = new QPushButton(caption, parent);
    placeControl(button, name, twips);
    button->setAutoDefault(false);
    return button;
}

void setButtonFace(QPushButton* button, const QColor& face)
{
    button->setStyleSheet(
        u"QPushButton { background-color: %1; color: black; border: 1px solid #202020;"
        " border-radius: 2px; padding: 0px; }"
        " QPushButton:pressed { background-color: %2; }"
        " QPushButton:focus { border: 1px dotted black; }"_s.arg(face.name(),
                                                               face.darker(125).name()));
}

QFrame* makeHorizontalLine(QWidget* parent, const QString& name, int x1, int x2, int y,
                           const QColor& color)
{
    auto* line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::NoFrame);
    line->setGeometry(twipsToPixels(x1), twipsToPixels(y), twipsToPixels(x2 - x1) + 1, 1);
    setBackgroundColor(line, color);
    return line;
}

} // namespace pelmora::platform
