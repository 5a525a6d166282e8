// CPU that the program spends per second of wall time while no ORV is plugged in: the
// worker's presence checks through the real hidapi. Prints name: value lines.
#include "mainwindow.h"

#include <QApplication>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <ctime>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double wallSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? atof(argv[1]) : 10.0;
    MainWindow window;
    window.show();

    double cpu0 = 0, wall0 = 0;
    // Measure after start-up has settled.
    QTimer::singleShot(1000, [&] {
        cpu0 = cpuSeconds();
        wall0 = wallSeconds();
        QTimer::singleShot(int(seconds * 1000), [&] {
            const double cpu = cpuSeconds() - cpu0, wall = wallSeconds() - wall0;
            std::printf("idle_wall_s: %.1f\n", wall);
            std::printf("idle_cpu_ms_per_s: %.2f\n", 1000 * cpu / wall);
            std::printf("idle_cpu_percent_of_core: %.3f\n", 100 * cpu / wall);
            app.quit();
        });
    });
    return app.exec();
}
