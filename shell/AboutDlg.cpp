#include "AboutDlg.h"

#include "shell/AppIcon.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("About Catalogrium3"));
    auto* icon = new QLabel;
    icon->setPixmap(AppIcon().pixmap(32, 32));
    auto* version = new QLabel(QStringLiteral("Catalogrium3.32"));
    version->setObjectName(QStringLiteral("versionLabel"));
    auto* description =
        new QLabel(tr("Lists one folder with the sizes, dates and attributes of its entries,\n"
                      "as a text file or as a printed page or CD and Zip case insert."));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(version, 0, 1);
    layout->addWidget(description, 1, 1);
    layout->addWidget(buttons, 2, 0, 1, 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
