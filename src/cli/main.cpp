// orvctl: the ORV from a shell. Built twice: against hidapi, and as orvctl-demo against the
// simulated ORV, for trying it without the hardware.
#include "orvctl.h"

#include <QCoreApplication>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

#ifdef ORVCTL_DEMO
#include "simhid.h"

#include <QTimer>
#endif

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const auto written = write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
#ifdef ORVCTL_DEMO
    simhid::reset();
    simhid::setLogging(false);
    simhid::setClock(simhid::Clock::RealTime);
    // Something to watch: a short series, started a second in, as from the window.
    if (app.arguments().value(1) == QLatin1String("watch")) {
        OrvModel::Settings series = simhid::model().settings();
        series.interNrShot = 3;
        series.interReleaseS = series.interIntervalS = series.interStartDelayS = 1;
        simhid::model().setSettings(series);
        QTimer::singleShot(1000, [] {
            const std::uint8_t start[6] = {0x0E, 0, 0, 0, 0, 0x0E};
            simhid::withModel([&start](OrvModel &model) { model.receive(start); });
        });
    }
#endif
    QTextStream out(stdout), err(stderr);
    Orvctl ctl(out, err);
    // Ctrl+C, TERM and HUP end the command from the event loop, so that the link closes
    // cleanly. The pipe never blocks the handler: later signals (timeout(1) signals the process
    // and then its group) find the command ending already.
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) == 0) {
        ctl.listenForSignals(signalPipe[0]);
        struct sigaction action = {};
        action.sa_handler = onSignal;
        for (int number : {SIGINT, SIGTERM, SIGHUP})
            sigaction(number, &action, nullptr);
    }
    const int code = ctl.run(app.arguments().mid(1));
    out.flush();
    err.flush();
    return code;
}
