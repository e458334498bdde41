#include "DialogFrame.h"

#include <QDialog>

void ShowAppMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon) {
    QMessageBox box(icon, QString::fromLatin1(kAppTitle), text, QMessageBox::Ok, parent);
    box.exec();
}

void SetModalFrame(QDialog& dialog, const DialogUnits& units, int width, int height,
                   bool withCaption) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
    if (withCaption)
        flags |= Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    dialog.setWindowFlags(flags);
    dialog.setFixedSize(units.Size(width, height));
}
