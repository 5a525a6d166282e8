// ORVcontrol with a simulated ORV in place of the hardware: the same window and link code,
// linked against the simulated hidapi. The device is plugged in a second after start.
#include "formstyle.h"
#include "mainwindow.h"
#include "simhid.h"
#include "startup.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char *argv[])
{
    prepareApplication(argc, argv);
    QApplication app(argc, argv);
    applyFormFont();

    simhid::reset();
    simhid::unplug();
    simhid::setLogging(false); // a demo may run for hours
    simhid::setClock(simhid::Clock::RealTime);
    simhid::model().setFirmware(2, 7);
    simhid::model().setBattery(78);

    MainWindow window;
    applyWindowFrame(window);
    window.setWindowTitle(window.windowTitle() + QStringLiteral(" — simulation, aucun ORV réel"));
    window.show();
    QTimer::singleShot(1000, [] { simhid::plug(); });
    return app.exec();
}
