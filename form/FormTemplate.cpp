#include "FormTemplate.h"

#include "dialogs/DialogUnits.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRect>
#include <QWidget>

#include <array>

namespace {

// A radio button that Tab never visits. Qt gives the focused button of a radio group a tab
// stop of its own, so that Tab comes back to it; the form's layout radios are reached with
// the mouse or their Alt keys only.
class CNoTabStopRadio final : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void focusInEvent(QFocusEvent* event) override {
        QRadioButton::focusInEvent(event);
        setFocusPolicy(Qt::ClickFocus);
    }
};

enum class ControlKind { PushButton, DefaultButton, Edit, Radio, Check, RightCheck, GroupBox };

struct FormControl {
    int id;
    ControlKind kind;
    const char* text;
    QRect units;
    bool tabStop;
};

// The form in template order, which is the tab order.
const std::array<FormControl, 17> kFormControls{{
    {IDC_BROWSE, ControlKind::PushButton, "&Browse", {183, 18, 37, 15}, false},
    {IDC_FOLDER, ControlKind::Edit, "", {6, 2, 214, 13}, true},
    {IDC_STANDARD, ControlKind::Radio, "Standar&d ( 8 x 11 )", {9, 28, 75, 11}, false},
    {IDC_TO_FILE, ControlKind::Radio, "&To File", {9, 38, 39, 11}, false},
    {IDC_CD, ControlKind::Radio, "CD/ &Jaz/ SparQ", {9, 48, 69, 11}, false},
    {IDC_ZIP, ControlKind::Radio, "&Zip/ LS120", {9, 59, 71, 11}, false},
    {IDC_SIZE, ControlKind::Check, "S&ize", {95, 25, 31, 11}, true},
    {IDC_DATE, ControlKind::Check, "Dat&e", {95, 37, 31, 11}, true},
    {IDC_ATTRIBUTES, ControlKind::Check, "&Attributes", {95, 49, 43, 11}, true},
    {IDC_PRINT_SUMMARY, ControlKind::RightCheck, "&Print Summary", {150, 43, 63, 9}, true},
    {IDC_PRINT_TITLE, ControlKind::RightCheck, "Pri&nt Title", {169, 62, 44, 9}, true},
    {IDC_COMMENTS, ControlKind::Check, "&Comments", {95, 61, 46, 9}, true},
    {IDC_GO, ControlKind::DefaultButton, "&Go", {183, 81, 37, 15}, true},
    {IDC_LAYOUT_GROUP, ControlKind::GroupBox, "Layout", {3, 18, 85, 55}, false},
    {IDC_ADD_GROUP, ControlKind::GroupBox, "Add ", {91, 18, 56, 55}, false},
    {IDC_TWO_COLUMN, ControlKind::Check, "Print two c&olumn (CD, Zip)", {9, 76, 103, 10}, true},
    {IDC_DELIMITED,
     ControlKind::Check,
     "Co&mma delimited file(database ready)",
     {9, 88, 151, 14},
     true},
}};

QWidget* MakeControl(const FormControl& control, QWidget& form) {
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefaultButton: {
        auto* button = new QPushButton(text, &form);
        button->setAutoDefault(false);
        button->setDefault(control.kind == ControlKind::DefaultButton);
        return button;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(&form);
        edit->setMaxLength(kFolderEditChars);
        return edit;
    }
    case ControlKind::Radio:
        return new CNoTabStopRadio(text, &form);
    case ControlKind::Check:
        return new QCheckBox(text, &form);
    case ControlKind::RightCheck: {
        // The box stands right of its text.
        auto* check = new QCheckBox(text, &form);
        check->setLayoutDirection(Qt::RightToLeft);
        return check;
    }
    case ControlKind::GroupBox: {
        // The title stands in the frame line, as on the classic form.
        auto* group = new QGroupBox(text, &form);
        group->setStyleSheet(QStringLiteral(
            "QGroupBox { border: 1px solid palette(mid); margin-top: 0.5em; }"
            "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
        return group;
    }
    }
    return nullptr;
}

// A check box or radio button is at least wide enough for its text with this platform's
// indicator, which is wider than the template allowed for; a box right of its text keeps
// its right edge.
QRect FitButtonText(const FormControl& control, const QWidget& widget, QRect rect) {
    const bool button = control.kind == ControlKind::Check || control.kind == ControlKind::Radio ||
                        control.kind == ControlKind::RightCheck;
    const int needed = widget.sizeHint().width();
    if (!button || needed <= rect.width())
        return rect;
    if (control.kind == ControlKind::RightCheck)
        rect.setLeft(rect.right() + 1 - needed);
    else
        rect.setWidth(needed);
    return rect;
}

// A control of the form is placed by its corner and its size, each converted on its own.
QRect PixelRect(const DialogUnits& units, const QRect& rect) {
    return {units.X(rect.x()), units.Y(rect.y()), units.X(rect.width()), units.Y(rect.height())};
}

} // namespace

QString ControlName(int id) {
    return QString::number(id);
}

QFont FormFont() {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    return font;
}

void CreateFormControls(QWidget& form) {
    const DialogUnits units(form.font());
    QWidget* previous = nullptr;
    for (const FormControl& control : kFormControls) {
        QWidget* widget = MakeControl(control, form);
        widget->setObjectName(ControlName(control.id));
        widget->setGeometry(FitButtonText(control, *widget, PixelRect(units, control.units)));
        if (control.kind == ControlKind::GroupBox) {
            // A group box frames the controls drawn over it and takes no focus.
            widget->lower();
            widget->setFocusPolicy(Qt::NoFocus);
            continue;
        }
        if (!control.tabStop)
            widget->setFocusPolicy(Qt::ClickFocus);
        if (previous && control.tabStop)
            QWidget::setTabOrder(previous, widget);
        if (control.tabStop)
            previous = widget;
    }
}
