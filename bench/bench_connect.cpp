// Plug to connected, plug to the last of the fifteen answers applied, and what the echo
// writes back, over the simulated ORV. Prints name: value lines (medians over the runs, and
// the fastest and slowest run).
#include "hidthread.h"
#include "mainwindow.h"
#include "simhid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double lowest(const std::vector<double> &v)
{
    return *std::min_element(v.begin(), v.end());
}

double highest(const std::vector<double> &v)
{
    return *std::max_element(v.begin(), v.end());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;

    std::vector<double> toConnected, toLastAnswer, echoBytes;
    for (int run = 0; run < runs; ++run) {
        simhid::reset();
        simhid::unplug();
        OrvModel::Settings device; // the model's defaults differ from the form's placeholders
        simhid::model().setSettings(device);

        MainWindow window;
        auto *link = window.findChild<hidthread *>();
        QElapsedTimer clock;
        qint64 connectedAt = -1, lastAnswerAt = -1;
        int answers = 0;
        QObject::connect(link, &hidthread::HID_vConnectedSignal, &window, [&](bool up) {
            if (up)
                connectedAt = clock.nsecsElapsed();
        });
        // Queued after the window's own slot, so this runs once the answer is applied.
        QObject::connect(link, &hidthread::HID_vInputMessageSignal, &window, [&] {
            if (++answers == 15)
                lastAnswerAt = clock.nsecsElapsed();
        });
        QTest::qWait(150); // an absent cycle or two
        clock.start();
        simhid::plug();
        if (!QTest::qWaitFor([&] { return lastAnswerAt >= 0; }, 10000)) {
            std::fprintf(stderr, "the fifteen answers never came\n");
            return 1;
        }
        QTest::qWait(300);
        toConnected.push_back(connectedAt / 1e6);
        toLastAnswer.push_back(lastAnswerAt / 1e6);
        echoBytes.push_back(7.0 * (double(simhid::writes().size()) - 15));
    }
    std::printf("runs: %d\n", runs);
    std::printf("plug_to_connected_ms: %.1f\n", median(toConnected));
    std::printf("plug_to_connected_ms_min: %.1f\n", lowest(toConnected));
    std::printf("plug_to_connected_ms_max: %.1f\n", highest(toConnected));
    std::printf("plug_to_last_answer_applied_ms: %.1f\n", median(toLastAnswer));
    std::printf("plug_to_last_answer_applied_ms_min: %.1f\n", lowest(toLastAnswer));
    std::printf("plug_to_last_answer_applied_ms_max: %.1f\n", highest(toLastAnswer));
    std::printf("connection_requests_bytes: %d\n", 15 * 7);
    std::printf("connection_echo_bytes: %.0f\n", median(echoBytes));
    return 0;
}
