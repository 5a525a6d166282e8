#include "mainwindow.h"
#include "windowframe.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    prepareApplication();
    QApplication app(argc, argv);
    // Lets Wayland compositors match the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("invalid.orv.orvcontrol"));
    applyFormFont();
    MainWindow window;
    applyWindowFrame(window);
    window.show();
    return app.exec();
}
