#pragma once

// Small helpers for building the program's fixed layouts: every control is placed at a position
// given in twips and named after its control name, so tests find it with findChild().

#include <QColor>
#include <QRect>
#include <QString>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace pelmora::platform {

// Places `widget` inside its parent at a rectangle given in twips and names it.
void placeControl(QWidget* widget, const QString& name, const QRect& twips);

void setTextColor(QWidget* widget, const QColor& color);
void setBackgroundColor(QWidget* widget, const QColor& color);

// A label whose text is always plain text (Qt would otherwise guess, and show tags as a page).
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption,
                  const QRect& twips);
QLineEdit* makeTextBox(QWidget* parent, const QString& name, const QRect& twips);
QCheckBox* makeCheckBox(QWidget* parent, const QString& name, const QString& caption,
                        const QRect& twips);
QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption,
                        const QRect& twips);
// A push button drawn in a colour of its own (a flat face with a thin border).
void setButtonFace(QPushButton* button, const QColor& face);

// A one-pixel horizontal line from (x1, y) to (x2, y), in twips.
QFrame* makeHorizontalLine(QWidget* parent, const QString& name, int x1, int x2, int y,
                           const QColor& color);

} // namespace pelmora::platform
