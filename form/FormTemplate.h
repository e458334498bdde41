#pragma once

#include <QFont>
#include <QSize>
#include <QString>

class QWidget;

// Control ids of the form; each control's objectName is its id in decimal.
enum FormControlId {
    IDC_FOLDER = 1000,
    IDC_BROWSE = 1006,
    IDC_LAYOUT_GROUP = 1007,
    IDC_STANDARD = 1014,
    IDC_TO_FILE = 1015,
    IDC_CD = 1016,
    IDC_ZIP = 1017,
    IDC_ADD_GROUP = 1022,
    IDC_SIZE = 1024,
    IDC_DATE = 1026,
    IDC_ATTRIBUTES = 1027,
    IDC_PRINT_TITLE = 1045,
    IDC_PRINT_SUMMARY = 1047,
    IDC_GO = 1061,
    IDC_COMMENTS = 1070,
    IDC_TWO_COLUMN = 1081,
    IDC_DELIMITED = 1082,
};

// The objectName of the control with `id`.
QString ControlName(int id);

// The font of the form: 8-point Arial (Liberation Sans where Arial is not installed).
QFont FormFont();

// The size of the form in dialog units.
inline constexpr QSize kFormSizeUnits{225, 103};
// The folder edit takes at most this many characters from the keyboard.
inline constexpr int kFolderEditChars = 255;

// Creates the controls of the form on `form`, in tab order, placed in dialog units of the
// form's font. The controls are children of `form`.
void CreateFormControls(QWidget& form);
