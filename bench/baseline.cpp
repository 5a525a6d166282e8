// The yardstick for ORVcontrol's start-up, memory and idle figures: a bare Qt Widgets window
// of the same size and shape (three empty tabs, four permanent status-bar labels), with Qt
// left exactly as it comes: no application attribute, no environment change.
//
// Usage: bench_baseline [--enumerate]
//   --enumerate  also look for the ORV every 100 ms on a worker thread, through the real
//                hidapi, as the program does while no device is plugged in.
#include "identity.h"

#include <hidapi.h>

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>

#include <atomic>
#include <cstring>

namespace {

class EnumerateLoop : public QThread
{
public:
    ~EnumerateLoop() override
    {
        stop = true;
        wait();
        hid_exit();
    }

protected:
    void run() override
    {
        while (!stop) {
            hid_device_info *list = hid_enumerate(orv::kVendorId, orv::kProductId);
            hid_free_enumeration(list);
            QThread::msleep(100);
        }
    }

private:
    std::atomic<bool> stop{false};
};

} // namespace

int main(int argc, char *argv[])
{
    bool enumerate = false;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--enumerate") == 0)
            enumerate = true;

    QApplication app(argc, argv);

    QMainWindow window;
    window.setFixedSize(400, 370);
    window.setWindowTitle(QStringLiteral("Baseline"));
    auto *tabs = new QTabWidget(&window);
    for (const char *title : {"Un", "Deux", "Trois"})
        tabs->addTab(new QWidget, QString::fromLatin1(title));
    window.setCentralWidget(tabs);
    for (int i = 0; i < 4; ++i)
        window.statusBar()->addPermanentWidget(new QLabel(QStringLiteral("Label")), 1);
    window.show();

    EnumerateLoop loop;
    if (enumerate)
        loop.start();
    return app.exec();
}
