// A real MainWindow and its link over the simulated ORV, on a short link cycle: shared by the
// window test and the window fuzzer. Needs a QApplication, but not Qt Test.
#pragma once

#include "hidthread.h"
#include "mainwindow.h"
#include "simhid.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>

namespace orvtest {

constexpr int kPeriodMs = 5; // the link's cycle here; the program's is 100 ms

using Sent = QList<QPair<int, int>>; // (command code, value) as the device decoded them

template <typename Done> bool waitFor(Done done, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

class Session
{
public:
    explicit Session(const OrvModel::Settings &device = {}, int major = 2, int minor = 7,
                     bool plugged = true)
    {
        simhid::reset();
        if (!plugged)
            simhid::unplug();
        OrvModel &model = simhid::model(); // no link thread runs yet
        model.setSettings(device);
        model.setFirmware(major, minor);
        model.setBattery(87);
        model.setCharging(true);
        window = std::make_unique<MainWindow>(nullptr, kPeriodMs);
        link = window->findChild<hidthread *>();
        QObject::connect(
            link, &hidthread::HID_vInputMessageSignal, link, [this] { ++emitted; },
            Qt::DirectConnection);
        QObject::connect(link, &hidthread::HID_vInputMessageSignal, window.get(),
                         [this] { ++decoded; });
    }

    // Connected, and all the device has said is decoded: nothing is queued, and a whole cycle
    // later every report the link passed on has reached the window.
    bool settle()
    {
        std::size_t mark = 0;
        return waitFor([&] {
            std::size_t n = 0;
            simhid::withModel([&](OrvModel &m) { n = m.pending(); });
            if (labels()[0]->text() != QStringLiteral("ORV connecté") || n || emitted != decoded) {
                mark = 0;
                return false;
            }
            const std::size_t reads = simhid::callCount("hid_read");
            if (!mark)
                mark = reads;
            return reads >= mark + 2;
        });
    }

    template <typename T> T *w(const char *name) const
    {
        T *found = window->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no widget %s", name);
        return found;
    }

    QList<QLabel *> labels() const // the four status-bar cells, left to right
    {
        // In the order they were added, which is the order they show in.
        return window->statusBar()->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
    }

    void mark() { from = received().size(); }
    Sent sentSinceMark() const { return received().mid(from); }
    static Sent received()
    {
        Sent out;
        simhid::withModel([&](OrvModel &m) {
            for (const OrvModel::Received &r : m.received())
                out << qMakePair(int(r.code), int(r.value));
        });
        return out;
    }

    // What must hold whatever the device said: empty if it does, else what broke.
    QString brokenInvariant() const
    {
        const int min = w<QSlider>("sliderSensitivityMin")->value();
        const int max = w<QSlider>("sliderSensitivityMax")->value();
        if (min >= max)
            return QStringLiteral("thresholds %1 >= %2").arg(min).arg(max);
        if (w<QSpinBox>("spinSensitivityMin")->value() != min ||
            w<QSpinBox>("spinSensitivityMax")->value() != max)
            return QStringLiteral("threshold spin box differs from its slider");
        // Old firmware: the built-in group has no check box and the auxiliary one is off.
        auto *builtIn = w<QGroupBox>("grpInt");
        auto *aux = w<QGroupBox>("grpAux");
        if ((!builtIn->isCheckable() || builtIn->isChecked()) ==
            (aux->isEnabledTo(w<QGroupBox>("groupGeneral")) && aux->isChecked()))
            return QStringLiteral("not exactly one sensor in use");
        return QString();
    }

    // Every report written since `from` (or the start) is a command of the program's own
    // tables with a right checksum; requests only if allowed.
    static QString badWrite(std::size_t from = 0, bool requests = false)
    {
        static const QList<int> commands{1, 2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 14, 15, 16, 17};
        const auto writes = simhid::writes();
        for (std::size_t i = from; i < writes.size(); ++i) {
            const auto &b = writes[i];
            const bool request = b[1] >= OrvModel::kFirstStatus && b[1] <= OrvModel::kLastStatus &&
                                 !(b[2] | b[3] | b[4] | b[5]);
            if (b[0] != 0 || !(commands.contains(b[1]) || (requests && request)) ||
                reportChecksum(&b[1]) != b[6])
                return QStringLiteral("bad write %1").arg(i);
        }
        return QString();
    }

    std::unique_ptr<MainWindow> window;
    hidthread *link = nullptr;
    int from = 0;
    std::atomic<std::size_t> emitted{0};
    std::size_t decoded = 0;
};

} // namespace orvtest
