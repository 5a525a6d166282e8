// orvctl against the simulated ORV, in process, on a short link cycle: what it prints, its exit
// status, and the commands that reach the device, refused values sending nothing.
#include "orvctl.h"
#include "simhid.h"

#include <QtTest>

namespace {

constexpr int kPeriodMs = 5;

struct Run
{
    int code;
    QString out, err;
    QStringList commands; // "code=value" of each command the device received, requests left out
};

Run run(const QStringList &args, const std::function<void(Orvctl &)> &meanwhile = {})
{
    simhid::takeWrites();
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    Orvctl ctl(outStream, errStream, kPeriodMs);
    // Once watch has its first answer, however slow the machine.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (out.contains("shots:")) {
            poll.stop();
            meanwhile(ctl);
        }
    });
    if (meanwhile)
        poll.start(5);
    Run result{ctl.run(args), {}, {}, {}};
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

} // namespace

class TestOrvctl : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        simhid::reset();
        simhid::setLogging(false);
    }

    // The device holds min 30, max 180, inhibit 1500 ms and LED duty 52 (level 4).
    void commands_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("shown"); // a line the output must hold
        QTest::addColumn<QStringList>("commands");
        const QStringList none;
        QTest::newRow("status") << QStringList{"status"} << 0 << "inhibit: 1500 ms" << none;
        QTest::newRow("status json")
            << QStringList{"status", "--json"} << 0 << "\"sensitivity-max\": 180" << none;
        QTest::newRow("inhibit") << QStringList{"set", "inhibit", "2500ms"} << 0
                                 << "inhibit: 2500 ms" << QStringList{"3=2500"};
        QTest::newRow("inhibit off step")
            << QStringList{"set", "inhibit", "1550"} << 2 << "" << none;
        QTest::newRow("inhibit too long")
            << QStringList{"set", "inhibit", "600100"} << 2 << "" << none;
        QTest::newRow("level range") << QStringList{"set", "level", "5"} << 2 << "" << none;
        QTest::newRow("not a number") << QStringList{"set", "shots", "12x"} << 2 << "" << none;
        QTest::newRow("LED table")
            << QStringList{"set", "led", "3"} << 0 << "led: 3" << QStringList{"9=30"};
        // The maximum moves first, past the new minimum, as the window's sliders do.
        QTest::newRow("min crosses max") << QStringList{"set", "sensitivity-min", "200"} << 0
                                         << "sensitivity-max: 201" << QStringList{"2=201", "1=200"};
        QTest::newRow("max below min") << QStringList{"set", "sensitivity-max", "10"} << 0
                                       << "sensitivity-min: 9" << QStringList{"1=9", "2=10"};
        QTest::newRow("max alone") << QStringList{"set", "sensitivity-max", "100"} << 0
                                   << "sensitivity-max: 100" << QStringList{"2=100"};
        QTest::newRow("sensor") << QStringList{"set", "sensor", "aux"} << 0 << "sensor: aux"
                                << QStringList{"5=1"};
        QTest::newRow("interval") << QStringList{"interval", "start"} << 0
                                  << "intervalometer started" << QStringList{"14=0"};
        QTest::newRow("lag read") << QStringList{"lag", "read", "10001001"} << 0 << "137 ms"
                                  << none;
        QTest::newRow("lag pattern") << QStringList{"lag", "read", "1000100"} << 2 << "" << none;
        QTest::newRow("unknown") << QStringList{"set", "colour", "1"} << 2 << "" << none;
    }
    void commands()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, shown);
        QFETCH(QStringList, commands);
        const Run r = run(args);
        QCOMPARE(r.code, code);
        const QStringList lines = r.out.split('\n');
        QVERIFY2(shown.isEmpty()
                     ? !r.err.isEmpty()
                     : std::any_of(lines.begin(), lines.end(),
                                   [&](const QString &l) { return l.trimmed().startsWith(shown); }),
                 qPrintable(r.out + r.err));
        QCOMPARE(r.commands, commands);
        if (code == Orvctl::Usage) // refused before the device is even looked for
            QCOMPARE(simhid::callCount("hid_enumerate"), std::size_t(0));
    }

    void noDevice()
    {
        simhid::unplug();
        const Run r = run({"status"});
        QCOMPARE(r.code, int(Orvctl::NoDevice));
        QVERIFY(r.err.contains("no ORV connected"));
    }

    void accessDenied()
    {
        simhid::setOpenRefused(true);
        const Run r = run({"set", "level", "3"});
        QCOMPARE(r.code, int(Orvctl::Denied));
        QVERIFY2(r.err.startsWith("orvctl: ORV found at /dev/hidraw-orvsim but access denied: "),
                 qPrintable(r.err));
        QVERIFY(r.err.contains("udev rule") && r.err.contains("install.sh --udev-rule"));
        QVERIFY(r.commands.isEmpty());
    }

    // watch ends by itself when the ORV goes, and cleanly on Ctrl+C.
    void watchEnds_data()
    {
        QTest::addColumn<bool>("unplug");
        QTest::newRow("unplugged") << true;
        QTest::newRow("Ctrl+C") << false;
    }
    void watchEnds()
    {
        QFETCH(bool, unplug);
        const Run r =
            run({"watch"}, [unplug](Orvctl &ctl) { unplug ? simhid::unplug() : ctl.stop(); });
        QCOMPARE(r.code, unplug ? int(Orvctl::NoDevice) : int(Orvctl::Ok));
        QCOMPARE(r.out.contains("ORV unplugged"), unplug);
        QVERIFY(r.out.contains("shots: 12"));
        QCOMPARE(simhid::openHandles(), std::size_t(0));
    }
};

QTEST_GUILESS_MAIN(TestOrvctl)
#include "tst_orvctl.moc"
