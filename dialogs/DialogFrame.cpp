#include "DialogFrame.h"

#include "dialogs/DialogUnits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyle>

#include <algorithm>

namespace {

// The width a control needs to show its whole text; 0 for controls without one.
int NeededWidth(const QWidget& control) {
    if (qobject_cast<const QCheckBox*>(&control) || qobject_cast<const QRadioButton*>(&control))
        return control.sizeHint().width();
    if (const auto* label = qobject_cast<const QLabel*>(&control))
        return label->wordWrap() ? 0 : label->sizeHint().width();
    if (const auto* button = qobject_cast<const QPushButton*>(&control)) {
        const QStyle* style = button->style();
        const int padding = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                            style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        return button->fontMetrics().horizontalAdvance(QString(button->text()).remove(u'&')) +
               2 * padding;
    }
    return 0;
}

QList<QWidget*> TemplateControls(QDialog& dialog) {
    QList<QWidget*> controls;
    for (QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->property(kTemplateRect).isValid())
            controls.push_back(child);
    return controls;
}

} // namespace

void ShowAppMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok, parent);
    box.exec();
}

void SetModalFrame(QDialog& dialog, bool withCaption) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
    if (withCaption)
        flags |= Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    dialog.setWindowFlags(flags);
}

void LayOutTemplate(QDialog& dialog, int width, int height) {
    const QList<QWidget*> controls = TemplateControls(dialog);
    const DialogUnits fontUnits(dialog.font());
    double stretch = 1.0;
    for (const QWidget* control : controls) {
        const int given = fontUnits.Rect(control->property(kTemplateRect).toRect()).width();
        // One pixel more than needed: the stretched edges are rounded separately.
        if (given > 0)
            stretch = std::max(stretch, (NeededWidth(*control) + 1.0) / given);
    }
    const DialogUnits units(dialog.font(), stretch);
    for (QWidget* control : controls) {
        QRect rect = units.Rect(control->property(kTemplateRect).toRect());
        if (qobject_cast<QComboBox*>(control))
            rect.setHeight(control->sizeHint().height());
        control->setGeometry(rect);
    }
    dialog.setFixedSize(units.Size(width, height));
}

void CModalDialog::accept() {
    if (OnOK())
        QDialog::accept();
}

void CModalDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        OnInitDialog();
    QDialog::showEvent(event);
}
