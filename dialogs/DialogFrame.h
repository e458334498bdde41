#pragma once

#include "Prompter.h"

#include <QMessageBox>
#include <QRect>
#include <QString>
#include <QVariant>

class QDialog;
class QWidget;

// A message box with an OK button and the program's name as caption; waits for the answer.
void ShowAppMessage(QWidget* parent, const QString& text,
                    QMessageBox::Icon icon = QMessageBox::Warning);

// A modal frame with a caption bar (title, close box) or, without one, with no title and no
// system menu.
void SetModalFrame(QDialog& dialog, bool withCaption);

// The property holding a control's rectangle in dialog units.
inline constexpr const char* kTemplateRect = "templateRect";

// Names `control` by its template id (none for labels and group boxes) and keeps its
// rectangle in dialog units for LayOutTemplate.
template <typename Control>
Control* PlaceControl(Control* control, const char* id, int x, int y, int width, int height) {
    control->setObjectName(QString::fromLatin1(id));
    control->setProperty(kTemplateRect, QRect(x, y, width, height));
    return control;
}

// Turns the template of a `width` by `height` dialog into pixels of the dialog's font and
// fixes the dialog's size. When a text does not fit its control at the font's own units,
// every horizontal unit widens alike, so the template keeps its alignment. A combo box keeps
// its own height (the template's height is that of its dropped list).
void LayOutTemplate(QDialog& dialog, int width, int height);
