#pragma once

#include "engine/Prompter.h"

#include <QDialog>
#include <QMessageBox>
#include <QRect>
#include <QString>
#include <QVariant>

class QShowEvent;
class QWidget;

// The life of a modal dialog of the program: DoModal runs it; OnInitDialog fills the controls
// from the members each time the program shows it (not when the window system shows it again,
// as after a minimise); OK and Enter end it only when OnOK has taken the controls back into the
// members, which it may refuse, saying why.
class CModalDialog : public QDialog {
public:
    using QDialog::QDialog;

    // QDialog::Accepted or QDialog::Rejected.
    int DoModal() { return exec(); }
    void accept() override;

protected:
    virtual void OnInitDialog() {}
    virtual bool OnOK() { return true; }
    void showEvent(QShowEvent* event) override;
};

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
