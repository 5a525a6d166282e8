// The status decoder driving a real MainWindow (offscreen) connected to the simulated ORV.
// Each input is cut into 6-byte reports, the last one possibly shorter, handed one by one to
// MainWindow::inputData. After every input the window must still be consistent, and all it
// wrote to the device must be command reports of its own tables; anything else aborts.
#include "hidthread.h"
#include "mainwindow.h"
#include "simhid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QSlider>
#include <QSpinBox>
#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace {

MainWindow *window = nullptr;
QSlider *sliderMin = nullptr;
QSlider *sliderMax = nullptr;
QSpinBox *spinMin = nullptr;
QSpinBox *spinMax = nullptr;
QGroupBox *general = nullptr;
QGroupBox *builtIn = nullptr;
QGroupBox *auxiliary = nullptr;
QList<QSpinBox *> spins;
unsigned long inputs = 0;

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

template <typename T> T *find(const char *name)
{
    T *w = window->findChild<T *>(QLatin1String(name));
    require(w != nullptr, name);
    return w;
}

void checkWindow()
{
    require(sliderMin->value() < sliderMax->value(), "minimum threshold not below maximum");
    require(spinMin->value() == sliderMin->value(), "minimum spin box differs from slider");
    require(spinMax->value() == sliderMax->value(), "maximum spin box differs from slider");
    const bool builtInUsed = !builtIn->isCheckable() || builtIn->isChecked();
    const bool auxUsed = auxiliary->isEnabledTo(general) && auxiliary->isChecked();
    require(builtInUsed != auxUsed, "not exactly one sensor in use");
    for (const QSpinBox *spin : spins)
        require(spin->value() >= spin->minimum() && spin->value() <= spin->maximum(),
                "spin box outside its range");
}

// Requests, a status code with a zero value, go out only when the device connects.
void checkWrites(bool requestsAllowed)
{
    static const bool command[256] = {
        false, true, true, true, true, true, true, false, false,
        true,  true, true, true, true, true, true, true,  true,
    };
    for (const auto &w : simhid::takeLogs().writes) {
        require(w[0] == 0, "write without report ID 0");
        const bool request = report::isStatusCode(w[1]) && !w[2] && !w[3] && !w[4] && !w[5];
        require(command[w[1]] || (requestsAllowed && request), "write of an unknown command code");
        require(std::uint8_t(w[1] + w[2] + w[3] + w[4] + w[5]) == w[6], "write checksum");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_window";
    static char *argv[] = {name, nullptr};
    new QApplication(argc, argv); // for the whole run

    simhid::reset();
    simhid::setLogging(false); // the writes are still kept
    window = new MainWindow;
    bool connected = false;
    QObject::connect(window->findChild<hidthread *>(), &hidthread::HID_vConnectedSignal, window,
                     [&](bool up) { connected = up; });
    // Connected, and the fifteen answers read and applied.
    QElapsedTimer clock;
    clock.start();
    std::size_t pending = 1;
    while (!connected || pending > 0 || clock.elapsed() < 2000) {
        require(clock.elapsed() < 20000, "the simulated ORV never connected");
        QCoreApplication::processEvents();
        QThread::msleep(5);
        simhid::withModel([&](OrvModel &m) { pending = m.pending(); });
    }
    QCoreApplication::processEvents();

    sliderMin = find<QSlider>("sliderSensitivityMin");
    sliderMax = find<QSlider>("sliderSensitivityMax");
    spinMin = find<QSpinBox>("spinSensitivityMin");
    spinMax = find<QSpinBox>("spinSensitivityMax");
    general = find<QGroupBox>("groupGeneral");
    builtIn = find<QGroupBox>("grpInt");
    auxiliary = find<QGroupBox>("grpAux");
    spins = window->findChildren<QSpinBox *>();
    checkWindow();
    checkWrites(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    for (std::size_t at = 0; at < size; at += 6) {
        const std::size_t n = std::min<std::size_t>(6, size - at);
        window->inputData(QByteArray(reinterpret_cast<const char *>(data + at), int(n)));
    }
    checkWindow();
    checkWrites(false);
    // Keep the device model's record of what it received, and the event queue, from growing.
    if (++inputs % 256 == 0) {
        simhid::withModel([](OrvModel &m) { m.clearReceived(); });
        QCoreApplication::processEvents();
    }
    return 0;
}
