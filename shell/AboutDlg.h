#pragma once

#include <QDialog>

// The About box: the application icon, the version "Catalogrium3.32", a few words on the
// program and an OK button.
class CAboutDlg final : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
