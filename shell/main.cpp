// Catalogrium3: lists one folder as a text file or a printed page or case insert.
#include "CatalogriumApp.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    CCatalogriumApp app;
    app.InitInstance();
    return QApplication::exec();
}
