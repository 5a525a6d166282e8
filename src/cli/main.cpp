// orvctl: the ORV from a shell. Built twice: against hidapi, and as orvctl-demo against the
// simulated ORV, for trying it without the hardware.
#include "orvctl.h"

#include <QCoreApplication>
#include <QSocketNotifier>
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

void onSignal(int)
{
    const char byte = 1;
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
    // Ctrl+C and TERM end the command from the event loop, so that the link closes cleanly.
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        // The first signal ends the command; later ones (timeout(1) signals the process and
        // then its group) find it ending already, and never block in the handler.
        const char *activated = SIGNAL(activated(QSocketDescriptor, QSocketNotifier::Type));
        QObject::connect(notifier, activated, &ctl, SLOT(stop()));
        QObject::connect(notifier, activated, notifier, SLOT(deleteLater()));
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }
    const int code = ctl.run(app.arguments().mid(1));
    out.flush();
    err.flush();
    return code;
}
