#include "formstyle.h"
#include "mainwindow.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    prepareApplication(argc, argv);
    QApplication app(argc, argv);
    applyFormFont();
    MainWindow window;
    applyWindowFrame(window);
    window.show();
    return app.exec();
}
