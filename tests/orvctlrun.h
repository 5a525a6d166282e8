// orvctl in process over the simulated ORV, on a short link cycle: what it prints, its exit
// status and the commands that reached the device. Shared by the tests that run it.
#pragma once

#include "orvctl.h"
#include "simhid.h"

#include <QTextStream>
#include <QTimer>

#include <functional>

namespace orvtest {

struct CtlRun
{
    int code;
    QString out, err;
    QStringList commands; // "code=value" of each command the device received, requests left out
};

// `meanwhile` is called every few milliseconds with what has been printed, until it returns
// true: a test acts on what it sees, however slow the machine.
inline CtlRun runOrvctl(const QStringList &args,
                        const std::function<bool(Orvctl &, const QString &)> &meanwhile = {})
{
    simhid::takeWrites();
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    Orvctl ctl(outStream, errStream, 5);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        outStream.flush();
        if (meanwhile(ctl, out))
            poll.stop();
    });
    if (meanwhile)
        poll.start(5);
    CtlRun result{ctl.run(args), {}, {}, {}};
    outStream.flush();
    errStream.flush();
    result.out = out;
    result.err = err;
    for (const auto &w : simhid::takeWrites())
        if (w[1] < 0x80)
            result.commands << QStringLiteral("%1=%2").arg(w[1]).arg((w[2] << 24) | (w[3] << 16) |
                                                                     (w[4] << 8) | w[5]);
    return result;
}

} // namespace orvtest
