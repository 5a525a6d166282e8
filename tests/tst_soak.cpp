// Hot-plug soak: a real window and its link while the simulated ORV is plugged and unplugged a
// few hundred times at random moments, answers and stray reports flow in, and settings change.
// ORV_SOAK_CYCLES sets the number of cycles (default 300), ORV_SOAK_SEED the random seed.
#include "hidthread.h"
#include "mainwindow.h"
#include "simhid.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QtTest>

#include <fstream>
#include <random>
#include <set>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kWait = 5000; // ms; generous, only ever waited for an expected event

// Growth allowed between the tenth and the last cycle. A leak of 2 KiB a cycle, a few small
// objects per connection, would pass it by the end.
constexpr long kRssToleranceKiB = 512;

long residentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// ASan's quarantine and valgrind's queue of freed blocks hold on to freed memory on purpose, and
// ThreadSanitizer maps shadow and history memory as it goes, so under them the resident size
// says nothing about leaks: there the plain build, LeakSanitizer and memcheck check them.
bool residentSizeTellsLeaks()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return false;
#endif
#endif
    return !qgetenv("LD_PRELOAD").contains("vgpreload");
}

// Replays the call log slice by slice: which handles are open at each call, and whether every
// write went to one of them.
struct LogCheck
{
    std::thread::id gui = std::this_thread::get_id();
    std::set<const hid_device *> open;
    std::size_t reached = 0;    // writes the device received
    std::size_t failed = 0;     // writes to a handle whose device had gone
    std::size_t goneChecks = 0; // the worker's enumerations that found nothing
    QString error;

    void feed(const simhid::Logs &logs)
    {
        std::size_t reachedHere = 0;
        for (const simhid::Call &c : logs.calls) {
            if (c.function == "hid_open" && c.result == 0) {
                if (!open.insert(c.handle).second)
                    fail("hid_open returned a handle already open");
            } else if (c.function == "hid_close") {
                if (!open.erase(c.handle))
                    fail("hid_close of a handle not open");
            } else if (c.function == "hid_enumerate") {
                goneChecks += c.thread != gui && c.result == 0;
            } else if (c.function == "hid_write") {
                if (c.thread != gui)
                    fail("hid_write off the GUI thread");
                if (!open.count(c.handle)) {
                    fail("hid_write while no handle was open");
                } else if (c.result == int(report::kCommandSize)) {
                    if (reachedHere >= logs.writes.size() ||
                        !std::equal(c.bytes.begin(), c.bytes.end(),
                                    logs.writes[reachedHere].begin()))
                        fail("a successful hid_write that the device did not receive");
                    ++reachedHere;
                } else {
                    ++failed;
                }
            }
        }
        if (reachedHere != logs.writes.size())
            fail("the device received a write that no hid_write made");
        reached += reachedHere;
    }
    void fail(const char *what)
    {
        if (error.isEmpty())
            error = QString::fromLatin1(what);
    }
};

// The user, and the device saying things unasked, at random.
class Busy
{
public:
    Busy(MainWindow &window, std::mt19937 &random) : window(window), random(random)
    {
        for (const char *name :
             {"spinInhibitTime", "spinAuxDelay", "spinLedPwm", "spinCurSensitivity", "spinNrShot",
              "spinReleaseTime", "spinInterval", "spinStartDelay"})
            spins << find<QSpinBox>(name);
    }

    void act()
    {
        switch (pick(0, 11)) {
        case 0:
            find<QSlider>("sliderSensitivityMin")->setValue(pick(0, 254));
            break;
        case 1:
            find<QSlider>("sliderSensitivityMax")->setValue(pick(1, 255));
            break;
        case 2:
        case 3: {
            QSpinBox *spin = spins[pick(0, spins.size() - 1)];
            spin->setValue(pick(spin->minimum(), spin->maximum()));
            break;
        }
        case 4:
            find<QCheckBox>("checkPrefocus")->click();
            break;
        case 5: // what a click on either sensor group's box does
            if (pick(0, 1))
                window.setAuxSensor(true);
            else
                window.setIntSensor(true);
            break;
        case 6:
            find<QPushButton>(pick(0, 1) ? "btnInterval" : "btnLagMeas")->click();
            break;
        case 7:
        case 8: {
            std::vector<std::uint8_t> status(6);
            status[0] = std::uint8_t(pick(0x80, 0x90));
            for (int i = 1; i < 5; ++i)
                status[i] = std::uint8_t(pick(0, 3) ? 0 : pick(0, 255));
            status[5] = report::checksum(status.data());
            simhid::injectReport(status);
            break;
        }
        case 9: {
            std::vector<std::uint8_t> junk(std::size_t(pick(1, 10)));
            for (std::uint8_t &b : junk)
                b = std::uint8_t(pick(0, 255));
            simhid::injectReport(junk);
            break;
        }
        default: // a pause
            break;
        }
    }
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); }

private:
    template <typename T> T *find(const char *name)
    {
        T *w = window.findChild<T *>(QLatin1String(name));
        if (!w)
            qFatal("no widget %s", name);
        return w;
    }

    MainWindow &window;
    std::mt19937 &random;
    QList<QSpinBox *> spins;
};

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void hotPlugWhileBusy();
};

void TestSoak::hotPlugWhileBusy()
{
    const int cycles = qEnvironmentVariableIsSet("ORV_SOAK_CYCLES")
                           ? qEnvironmentVariableIntValue("ORV_SOAK_CYCLES")
                           : 300;
    QVERIFY2(cycles > 10, "ORV_SOAK_CYCLES must be above 10");
    const unsigned seed = qEnvironmentVariableIsSet("ORV_SOAK_SEED")
                              ? unsigned(qEnvironmentVariableIntValue("ORV_SOAK_SEED"))
                              : 20261208u;
    qInfo("%d cycles, seed %u", cycles, seed);

    simhid::reset();
    // Widens every call on the handle, so that an unguarded overlap would rarely slip through.
    simhid::setCallDelay(std::chrono::microseconds(200));
    simhid::unplug();
    MainWindow window;
    auto *link = window.findChild<hidthread *>();
    auto *general = window.findChild<QGroupBox *>("groupGeneral");
    QVERIFY(link && general);
    // As the window has applied them: this runs after its own slot.
    QList<bool> states;
    int displayMismatches = 0;
    connect(link, &hidthread::HID_vConnectedSignal, &window, [&](bool up) {
        states << up;
        // Its own flag: a series running here also disables the tab around it.
        displayMismatches += general->isEnabledTo(general->parentWidget()) != up;
    });

    std::mt19937 random(seed);
    Busy busy(window, random);
    LogCheck check;
    std::size_t actsDisconnected = 0;
    const auto step = [&] {
        if (busy.pick(0, 2) == 0) {
            actsDisconnected += states.isEmpty() || !states.last();
            busy.act();
        }
        QTest::qWait(busy.pick(1, 8));
        check.feed(simhid::takeLogs());
    };
    const auto pumpUntil = [&](const std::function<bool()> &done) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > kWait)
                return false;
            step();
        }
        return true;
    };
    const auto pumpFor = [&](int ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms)
            step();
    };

    long residentAtTenth = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        simhid::plug();
        QVERIFY2(pumpUntil([&] { return states.size() == 2 * cycle + 1; }),
                 qPrintable(QStringLiteral("cycle %1: no connection").arg(cycle)));
        QVERIFY(states.last());

        // Mostly among the first answers; now and then once all fifteen have come.
        pumpFor(busy.pick(0, 15) ? busy.pick(0, 100) : busy.pick(150, 1600));
        const std::size_t goneChecks = check.goneChecks;
        simhid::unplug();
        // Back in as soon as the link has found it gone, or only once the window shows it:
        // either way the link must close, say so once, and open afresh.
        if (busy.pick(0, 1))
            QVERIFY2(pumpUntil([&] { return check.goneChecks > goneChecks; }),
                     qPrintable(QStringLiteral("cycle %1: absence never seen").arg(cycle)));
        else
            QVERIFY2(pumpUntil([&] { return states.size() == 2 * cycle + 2; }),
                     qPrintable(QStringLiteral("cycle %1: no disconnection").arg(cycle)));

        const std::vector<std::string> violations = simhid::violations();
        QVERIFY2(violations.empty(), violations.empty() ? "" : violations.front().c_str());
        QVERIFY2(check.error.isEmpty(),
                 qPrintable(QStringLiteral("cycle %1: %2").arg(cycle).arg(check.error)));
        simhid::withModel([](OrvModel &m) { m.clearReceived(); });
        if (cycle == 9)
            residentAtTenth = residentKiB();
    }
    QVERIFY(pumpUntil([&] { return states.size() == 2 * cycles; }));
    QTest::qWait(300); // a few absent cycles: nothing more to say
    check.feed(simhid::takeLogs());
    QVERIFY2(check.error.isEmpty(), qPrintable(check.error));
    QVERIFY(simhid::violations().empty());
    QCOMPARE(simhid::openHandles(), std::size_t(0));
    QCOMPARE(states.size(), 2 * cycles);
    for (int i = 0; i < states.size(); ++i)
        QVERIFY2(states[i] == (i % 2 == 0), qPrintable(QStringLiteral("signal %1").arg(i)));
    QCOMPARE(displayMismatches, 0);
    // Both roads were taken: writes that reached the device, and changes made with none there.
    QVERIFY(check.reached > 0);
    QVERIFY(actsDisconnected > 0);

    const long residentAtEnd = residentKiB();
    qInfo("resident after cycle 10: %ld KiB, after cycle %d: %ld KiB (%+ld KiB); "
          "writes received %zu, to a device gone %zu",
          residentAtTenth, cycles, residentAtEnd, residentAtEnd - residentAtTenth, check.reached,
          check.failed);
    if (residentSizeTellsLeaks())
        QVERIFY2(residentAtEnd - residentAtTenth <= kRssToleranceKiB,
                 qPrintable(QStringLiteral("resident size grew by %1 KiB")
                                .arg(residentAtEnd - residentAtTenth)));
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
