#pragma once

#include "DialogUnits.h"

#include <QMessageBox>
#include <QString>

class QDialog;
class QWidget;

// The caption of the program's own messages.
inline constexpr const char* kAppTitle = "Catalogrium3";

// A message box with an OK button and the program's name as caption; waits for the answer.
void ShowAppMessage(QWidget* parent, const QString& text,
                    QMessageBox::Icon icon = QMessageBox::Warning);

// A fixed-size modal frame of `width` by `height` dialog units; with a caption bar (title,
// close box) or, without one, no title and no system menu.
void SetModalFrame(QDialog& dialog, const DialogUnits& units, int width, int height,
                   bool withCaption);

// Places `control` at the template position and names it by its template id.
template <typename Control>
Control* PlaceControl(Control* control, const DialogUnits& units, const char* id, int x, int y,
                      int width, int height) {
    control->setObjectName(QString::fromLatin1(id));
    control->setGeometry(units.Rect(x, y, width, height));
    return control;
}
