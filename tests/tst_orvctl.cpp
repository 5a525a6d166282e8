// orvctl against the simulated ORV, in process, on a short link cycle: what it prints, its exit
// status, and the commands that reach the device, refused values sending nothing.
#include "orvctlrun.h"
#include "settingtable.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

using namespace orvtest;

namespace {

// The man page's entries under a heading: each ".B term" with the line that follows it.
QMap<QString, QString> manEntries(const QString &page, const QString &heading)
{
    const QString section = page.section(".SH " + heading + '\n', 1).section("\n.SH ", 0, 0);
    QMap<QString, QString> entries;
    const QStringList lines = section.split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i)
        if (lines[i].startsWith(".B ") && !lines[i + 1].startsWith('.'))
            entries[lines[i].mid(3).replace("\\-", "-")] = lines[i + 1];
    return entries;
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

    // The device holds min 30, max 180 and inhibit 1500 ms. tst_agree walks every setting.
    void commands_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("shown"); // a line the output must hold
        QTest::addColumn<QStringList>("commands");
        const QStringList none;
        QTest::newRow("status") << QStringList{"status"} << 0 << "inhibit: 1500 ms" << none;
        QTest::newRow("status json")
            << QStringList{"status", "--json"} << 0 << "\"inhibit_ms\": 1500" << none;
        QTest::newRow("inhibit") << QStringList{"set", "inhibit", "2500ms"} << 0
                                 << "inhibit: 2500 ms" << QStringList{"3=2500"};
        // The maximum moves first, past the new minimum, as the window's sliders do.
        QTest::newRow("min crosses max") << QStringList{"set", "sensitivity-min", "200"} << 0
                                         << "sensitivity-max: 201" << QStringList{"2=201", "1=200"};
        // Given together, the one that makes room goes first.
        QTest::newRow("both thresholds")
            << QStringList{"set", "sensitivity-min", "200", "sensitivity-max", "250"} << 0
            << "sensitivity-min: 200" << QStringList{"2=250", "1=200"};
        QTest::newRow("interval") << QStringList{"interval", "start"} << 0
                                  << "intervalometer started" << QStringList{"14=0"};
        QTest::newRow("lag read") << QStringList{"lag", "read", "10001001"} << 0 << "137 ms"
                                  << none;
    }
    void commands()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, shown);
        QFETCH(QStringList, commands);
        const CtlRun r = runOrvctl(args);
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

    // A usage error names the argument at fault and gives that command's usage; nothing is
    // looked for, let alone sent.
    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("usage");
        const auto row = [](const char *name, QStringList args, QString error, QString usage) {
            QTest::newRow(name) << args << error << usage;
        };
        row("setting", {"set", "colour", "1"}, "'colour' is not a setting", "set SETTING");
        row("value missing", {"set", "level"}, "VALUE missing for 'level'", "set SETTING");
        row("not a number", {"set", "shots", "12x"}, "'12x' is not a value for shots",
            "set SETTING");
        row("crossed", {"set", "sensitivity-max", "9", "sensitivity-min", "9"}, "must stay below",
            "set SETTING");
        row("twice", {"set", "led", "3", "led", "4"}, "'led' given twice", "set SETTING");
        row("no file", {"apply", "/nonexistent"}, "cannot read '/nonexistent'", "apply FILE");
        row("interval", {"interval", "pause"}, "'pause' is neither start nor stop", "interval");
        row("LEDS", {"lag", "read", "1000100"}, "not '1000100'", "lag start");
        row("lag", {"lag"}, "start or read missing", "lag start");
        row("status", {"status", "--jsn"}, "unexpected argument '--jsn'", "status [--json]");
        row("help", {"help", "colour"}, "'colour' is not a command", "help [COMMAND]");
        row("command", {"colour"}, "'colour' is not a command", "[--device PATH|SERIAL] COMMAND");
    }
    void usage()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        QFETCH(QString, usage);
        const CtlRun r = runOrvctl(args);
        QCOMPARE(r.code, int(Orvctl::Usage));
        QVERIFY2(r.err.section('\n', 0, 0).contains(error), qPrintable(r.err));
        QVERIFY2(r.err.contains("usage: orvctl " + usage), qPrintable(r.err));
        QCOMPARE(simhid::callCount("hid_enumerate"), std::size_t(0));
    }

    // help COMMAND is COMMAND --help, and the manual page says what the help says: every
    // command, every setting with its limits, every exit status.
    void helpAndManual()
    {
        QFile file(ORV_MAN_PAGE);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString page = QString::fromUtf8(file.readAll());
        const QString synopsis = page.section(".SH SYNOPSIS", 1).section(".SH ", 0, 0);
        const CtlRun all = runOrvctl({"help"});
        QVERIFY(all.code == 0 && all.out.contains("orvctl help [COMMAND]"));
        for (const QString &line : all.out.split('\n').filter(QRegularExpression("^  orvctl "))) {
            const QString name = line.section(' ', 3, 3);
            const CtlRun help = runOrvctl({"help", name});
            QCOMPARE(help.code, 0);
            QCOMPARE(help.out, runOrvctl({name, "--help"}).out);
            QVERIFY2(help.out.startsWith("usage: orvctl " + line.mid(9)), qPrintable(help.out));
            QVERIFY2(synopsis.contains(".B orvctl " + name), qPrintable(name));
        }
        const QMap<QString, QString> settings = manEntries(page, "COMMANDS");
        const QString setHelp = runOrvctl({"set", "--help"}).out;
        for (const orv::Setting &s : orv::kSettings) {
            const QString line = QString::fromStdString(orv::describe(s));
            QCOMPARE(settings.value(s.name), line);
            QVERIFY(setHelp.contains(QString(s.name).leftJustified(16) + line));
        }
        QMap<QString, QString> exits;
        for (const QString &line :
             setHelp.section("Exit status:\n", 1).split('\n', Qt::SkipEmptyParts))
            exits[line.section(' ', 2, 2)] = line.mid(6);
        QCOMPARE(manEntries(page, "EXIT STATUS"), exits);
        QVERIFY(exits.contains("130"));
    }

    // What the bash completion offers, as the program tells the script, from the same tables.
    void completion_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("offered");
        QTest::newRow("command")
            << ""
            << "status set apply interval watch lag list help --help --version";
        QTest::newRow("interval") << "interval"
                                  << "start stop --help";
        QTest::newRow("setting") << "set pre"
                                 << "prefocus";
        QTest::newRow("choice") << "set sensor"
                                << "builtin aux";
        QTest::newRow("levels") << "set led"
                                << "1 2 3 4 5";
        QTest::newRow("a number") << "set inhibit"
                                  << "";
        QTest::newRow("unknown") << "colour"
                                 << "";
    }
    void completion()
    {
        QFETCH(QString, typed);
        QFETCH(QString, offered);
        // The word being completed is the last one; for a new word, an empty one.
        const QString line = typed.endsWith("pre") ? typed : typed + " ''";
        QProcess bash;
        bash.start("bash", {"-c",
                            "source \"$0\"; COMP_WORDS=(\"$1\" " + line +
                                "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _orvctl; "
                                "echo \"${COMPREPLY[*]}\"",
                            ORV_COMPLETION, ORVCTL_DEMO});
        QVERIFY(bash.waitForFinished(10000));
        QCOMPARE(bash.readAllStandardOutput().trimmed(), offered.toUtf8());
    }

    // apply takes what status --json printed: what differs is sent, and a second time nothing.
    void applyRoundTrip()
    {
        QJsonObject saved =
            QJsonDocument::fromJson(runOrvctl({"status", "--json"}).out.toUtf8()).object();
        saved["inhibit_ms"] = 2500, saved["prefocus"] = false, saved["sensitivity_min"] = 200,
        saved["sensitivity_max"] = 250, saved["battery"] = 3;
        QTemporaryFile file;
        QVERIFY(file.open() && file.write(QJsonDocument(saved).toJson()) > 0 && file.flush());
        for (const QStringList &sent : {QStringList{"3=2500", "17=0", "2=250", "1=200"}, {}}) {
            const CtlRun r = runOrvctl({"apply", file.fileName()});
            QCOMPARE(r.code, 0);
            QCOMPARE(r.commands, sent);
        }
    }

    // Several ORVs: each is listed; without --device orvctl names them and takes none; with
    // it, the one named by node or serial number (the other refuses to open).
    void severalOrvs_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("shown"); // in what it prints, out or err
        QTest::newRow("list") << QStringList{"list"} << 0
                              << "/dev/hidraw-orvsim\tORVSIM1\n/dev/hidraw-other\tORV2\n";
        QTest::newRow("no choice") << QStringList{"status"} << 2 << "hidraw-orvsim  ORVSIM1";
        QTest::newRow("by node") << QStringList{"--device", "/dev/hidraw-orvsim", "status"} << 0
                                 << "inhibit: 1500 ms";
        QTest::newRow("by serial")
            << QStringList{"-d", "ORVSIM1", "set", "led", "3"} << 0 << "led: 3";
        QTest::newRow("the other")
            << QStringList{"--device", "ORV2", "status"} << 3 << "ORV found at /dev/hidraw-other";
        QTest::newRow("none such")
            << QStringList{"--device", "ORV9", "status"} << 1 << "no ORV at ORV9";
    }
    void severalOrvs()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, shown);
        simhid::addOtherOrv("/dev/hidraw-other", "ORV2");
        const CtlRun r = runOrvctl(args);
        QCOMPARE(r.code, code);
        QVERIFY2((r.out + r.err).contains(shown), qPrintable(r.out + r.err));
    }

    void noDevice()
    {
        simhid::unplug();
        const CtlRun r = runOrvctl({"status", "--json"});
        QCOMPARE(r.code, int(Orvctl::NoDevice));
        QVERIFY(r.err.contains("no ORV connected"));
        const QJsonObject json = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(json["connected"], QJsonValue(false));
        QVERIFY(json["error"].toString().startsWith("no ORV connected"));
    }

    void accessDenied()
    {
        simhid::setOpenRefused(true);
        const CtlRun r = runOrvctl({"set", "level", "3"});
        QCOMPARE(r.code, int(Orvctl::Denied));
        QVERIFY2(r.err.startsWith("orvctl: ORV found at /dev/hidraw-orvsim but access denied: "),
                 qPrintable(r.err));
        QVERIFY(r.err.contains("plugdev") && r.err.contains("install.sh --udev-rule"));
        QVERIFY(r.commands.isEmpty());
    }

    // watch ends by itself when the ORV goes, cleanly on Ctrl+C, and with their own status on
    // TERM and HUP; the link is closed each time.
    void watchEnds_data()
    {
        QTest::addColumn<int>("signal"); // 0: the ORV is unplugged
        QTest::addColumn<int>("code");
        QTest::newRow("unplugged") << 0 << int(Orvctl::NoDevice);
        QTest::newRow("Ctrl+C") << SIGINT << int(Orvctl::Ok);
        QTest::newRow("TERM") << SIGTERM << 143;
        QTest::newRow("HUP") << SIGHUP << 129;
    }
    void watchEnds()
    {
        QFETCH(int, signal);
        QFETCH(int, code);
        const CtlRun r = runOrvctl({"watch"}, [signal](Orvctl &ctl, const QString &out) {
            if (out.contains("shots:"))
                signal ? ctl.stop(signal) : simhid::unplug();
            return out.contains("shots:");
        });
        QCOMPARE(r.code, code);
        QCOMPARE(r.out.contains("ORV unplugged"), !signal);
        QCOMPARE(simhid::openHandles(), std::size_t(0));
    }

    // --wait: from before the ORV is plugged in, across an unplug, one JSON object a line.
    void watchWaits()
    {
        simhid::unplug();
        int step = 0;
        const CtlRun r =
            runOrvctl({"watch", "--wait", "--json"}, [&step](Orvctl &ctl, const QString &out) {
                const int shots = out.count("shots");
                if (step == 0 || (step == 2 && out.contains("false")))
                    ++step, simhid::plug();
                else if (step == 1 && shots == 1)
                    ++step, simhid::unplug();
                else if (step == 3 && shots == 2)
                    ++step, ctl.stop();
                return step == 4;
            });
        QCOMPARE(r.code, 0);
        QStringList events;
        const QRegularExpression iso(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$)");
        for (const QString &line : r.out.split('\n', Qt::SkipEmptyParts)) {
            QJsonObject event = QJsonDocument::fromJson(line.toUtf8()).object();
            QVERIFY2(iso.match(event.take("time").toString()).hasMatch(), qPrintable(line));
            events << QString::fromUtf8(QJsonDocument(event).toJson(QJsonDocument::Compact));
        }
        QCOMPARE(events,
                 (QStringList{R"({"connected":true})", R"({"shots":12})", R"({"connected":false})",
                              R"({"connected":true})", R"({"shots":12})"}));
    }
};

QTEST_GUILESS_MAIN(TestOrvctl)
#include "tst_orvctl.moc"
