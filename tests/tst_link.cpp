// The device link against the simulated hidapi: its states, its validation, and that the
// GUI thread's writes never meet the worker's close.
#include "hidthread.h"
#include "simhid.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <random>
#include <thread>

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

constexpr int kWait = 5000; // ms; generous, only ever waited for an expected event

// Records a signal's arguments like QSignalSpy, but on the test's thread: QSignalSpy appends
// on the emitting thread, here the worker, racing with the test that reads the list.
class Spy : public QObject, public QList<QList<QVariant>>
{
public:
    template <typename Arg> Spy(hidthread *sender, void (hidthread::*signal)(Arg))
    {
        connect(
            sender, signal, this, [this](Arg value) { append({QVariant::fromValue(value)}); },
            Qt::QueuedConnection);
    }
};

// A link configured and started like the window does it, with spies on both signals.
struct Link
{
    hidthread thread;
    Spy connected{&thread, &hidthread::HID_vConnectedSignal};
    Spy messages{&thread, &hidthread::HID_vInputMessageSignal};

    Link()
    {
        thread.HID_vConfigure(simhid::kVendorId, simhid::kProductId, 64);
        thread.start();
    }
    QList<bool> states() const
    {
        QList<bool> out;
        for (const QList<QVariant> &args : connected)
            out << args.first().toBool();
        return out;
    }
    void write(const Bytes &report) { thread.HID_vWrite(report.data(), report.size()); }
};

// Calls made on the worker thread, in order (list frees left out), from the first one after `from`.
QStringList workerCalls(std::size_t from = 0)
{
    const std::thread::id gui = std::this_thread::get_id();
    QStringList out;
    const std::vector<simhid::Call> calls = simhid::calls();
    for (std::size_t i = from; i < calls.size(); ++i)
        if (calls[i].thread != gui && calls[i].function != "hid_free_enumeration")
            out << QString::fromStdString(calls[i].function) +
                       (calls[i].function == "hid_enumerate"
                            ? QStringLiteral("=%1").arg(calls[i].result)
                            : QString());
    return out;
}

QByteArray violationsText()
{
    QByteArray out;
    for (const std::string &v : simhid::violations())
        out += QByteArray::fromStdString(v) + '\n';
    return out;
}

Bytes status(std::uint8_t code, std::uint8_t p4)
{
    return {code, 0, 0, 0, p4, std::uint8_t(code + p4)};
}

const Bytes kRequest{0x00, 0x86, 0x00, 0x00, 0x00, 0x00, 0x86};

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void presentAtStartConnectsInFirstCycle();
    void pluggedLaterConnectsWithinTwoCycles();
    void unplugDisconnectsOnceAndReplugReconnects();
    void refusedOpenIsRetriedWithoutSignal();
    void briefReadErrorKeepsTheHandle();
    void deadHandleReconnects_data();
    void deadHandleReconnects();
    void validation_data();
    void validation();
    void oneReportPerCycle();
    void writesNeedAnOpenHandle();
    void eachThreadKeepsToItsCalls();
    void writesNeverMeetAClose();
    void destructorClosesTheHandle();
};

void TestLink::init()
{
    simhid::reset();
}

void TestLink::cleanup()
{
    QVERIFY2(simhid::violations().empty(), violationsText().constData());
    QCOMPARE(simhid::liveEnumerations(), std::size_t(0));
}

void TestLink::presentAtStartConnectsInFirstCycle()
{
    Link link;
    QTRY_COMPARE_WITH_TIMEOUT(link.connected.count(), 1, kWait);
    QCOMPARE(link.states(), QList<bool>{true});
    // The check made while configuring found it: the worker opens at once.
    QCOMPARE(workerCalls().mid(0, 2), (QStringList{"hid_open", "hid_set_nonblocking"}));

    simhid::injectReport(status(0x90, 75));
    QTRY_COMPARE_WITH_TIMEOUT(link.messages.count(), 1, kWait);
    QTest::qWait(300);
    QCOMPARE(link.connected.count(), 1);
}

void TestLink::pluggedLaterConnectsWithinTwoCycles()
{
    simhid::unplug();
    Link link;
    QTRY_VERIFY_WITH_TIMEOUT(simhid::callCount("hid_enumerate") >= 3, kWait);
    QCOMPARE(link.connected.count(), 0);

    const std::size_t before = simhid::calls().size();
    simhid::plug();
    QTRY_COMPARE_WITH_TIMEOUT(link.connected.count(), 1, kWait);
    QCOMPARE(link.states(), QList<bool>{true});
    // Absent cycles enumerate; the first one that finds it is followed by the open.
    QStringList calls = workerCalls(before);
    while (!calls.isEmpty() && calls.first() == "hid_enumerate=0")
        calls.removeFirst();
    QCOMPARE(calls.mid(0, 3), (QStringList{"hid_enumerate=1", "hid_open", "hid_set_nonblocking"}));
}

void TestLink::unplugDisconnectsOnceAndReplugReconnects()
{
    Link link;
    QTRY_COMPARE_WITH_TIMEOUT(link.connected.count(), 1, kWait);

    for (int round = 0; round < 3; ++round) {
        simhid::unplug();
        QTRY_COMPARE_WITH_TIMEOUT(link.connected.count(), 2 + 2 * round, kWait);
        QTest::qWait(300); // a few absent cycles: nothing more to say
        QCOMPARE(link.connected.count(), 2 + 2 * round);
        QCOMPARE(simhid::openHandles(), std::size_t(0));

        simhid::plug();
        QTRY_COMPARE_WITH_TIMEOUT(link.connected.count(), 3 + 2 * round, kWait);
        QCOMPARE(simhid::openHandles(), std::size_t(1));
    }
    QCOMPARE(link.states(), (QList<bool>{true, false, true, false, true, false, true}));
}

void TestLink::refusedOpenIsRetriedWithoutSignal()
{
    simhid::setOpenRefused(true);
    Link link;
    QTRY_VERIFY_WITH_TIMEOUT(simhid::callCount("hid_open") >= 3, kWait);
    QCOMPARE(link.connected.count(), 0);
    // Still listed, so the worker keeps trying to open instead of looking for it again.
    QCOMPARE(workerCalls().filter("hid_enumerate").size(), 0);

    simhid::setOpenRefused(false);
    QTRY_COMPARE_WITH_TIMEOUT(link.connected.count(), 1, kWait);
    QCOMPARE(link.states(), QList<bool>{true});
}

void TestLink::briefReadErrorKeepsTheHandle()
{
    Link link;
    QTRY_COMPARE_WITH_TIMEOUT(link.connected.count(), 1, kWait);

    // Let exactly one read fail: the worker sleeps 100 ms after each.
    const std::size_t before = simhid::calls().size();
    simhid::setReadsFail(true);
    const auto failedReads = [&] {
        const std::vector<simhid::Call> calls = simhid::calls();
        return std::count_if(
            calls.begin() + qint64(before), calls.end(),
            [](const simhid::Call &c) { return c.function == "hid_read" && c.result < 0; });
    };
    QElapsedTimer clock;
    clock.start();
    while (failedReads() == 0 && clock.elapsed() < kWait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    simhid::setReadsFail(false);
    QCOMPARE(failedReads(), 1);

    simhid::injectReport(status(0x80, 1));
    QTRY_COMPARE_WITH_TIMEOUT(link.messages.count(), 1, kWait);
    QCOMPARE(link.connected.count(), 1);
    QCOMPARE(simhid::callCount("hid_open"), std::size_t(1));
    // The enumeration after the failed read still found it.
    QVERIFY(workerCalls(before).contains("hid_enumerate=1"));
}

// Unplugged and plugged back between two checks: the device is listed all along, but the
// old handle only fails. The link must drop it and open the device again.
void TestLink::deadHandleReconnects_data()
{
    QTest::addColumn<bool>("replug");
    QTest::newRow("replugged between two checks") << true;
    QTest::newRow("reads keep failing") << false;
}

void TestLink::deadHandleReconnects()
{
    QFETCH(bool, replug);

    Link link;
    QTRY_COMPARE_WITH_TIMEOUT(link.connected.count(), 1, kWait);
    if (replug) {
        simhid::unplug();
        simhid::plug();
    } else {
        simhid::setReadsFail(true);
    }
    QTRY_COMPARE_WITH_TIMEOUT(link.connected.count(), 3, kWait);
    QCOMPARE(link.states(), (QList<bool>{true, false, true}));
    QCOMPARE(simhid::callCount("hid_open"), std::size_t(2));
    QCOMPARE(simhid::openHandles(), std::size_t(1));

    simhid::setReadsFail(false);
    simhid::injectReport(status(0x90, 50));
    QTRY_VERIFY_WITH_TIMEOUT(!link.messages.isEmpty(), kWait);
}

void TestLink::validation_data()
{
    QTest::addColumn<Bytes>("report");
    QTest::addColumn<QByteArray>("emitted"); // empty: dropped

    const auto hex = [](const char *s) { return QByteArray::fromHex(s); };
    QTest::newRow("valid") << Bytes{0x83, 0, 0, 0x03, 0xE8, 0x6E} << hex("83000003e86e");
    QTest::newRow("checksum wraps") << Bytes{0x8D, 0, 0, 0, 0x80, 0x0D} << hex("8d000000800d");
    QTest::newRow("64 bytes, tail ignored") <<
        [] {
            Bytes b(64, 0xEE);
            b[0] = 0x90, b[1] = 0, b[2] = 0, b[3] = 0, b[4] = 0x4B, b[5] = 0xDB;
            return b;
        }()
                                            << hex("90000000"
                                                   "4bdb");
    QTest::newRow("wrong checksum") << Bytes{0x82, 0, 0, 0, 0x7F, 0x02} << QByteArray();
    QTest::newRow("code 0, checksum right") << Bytes{0x00, 0x10, 0, 0, 0, 0x10} << QByteArray();
    QTest::newRow("single zero byte") << Bytes{0x00} << QByteArray();
    QTest::newRow("short, zero fill fails the sum") << Bytes{0x80, 0, 0} << QByteArray();
    // The cleared buffer supplies the missing bytes, and here they complete the sum.
    QTest::newRow("short, zero fill completes the sum") << Bytes{0x01, 0xFF} << hex("01ff00000000");
    QTest::newRow("unknown code, valid on the link") << Bytes{0xC0, 1, 2, 3, 4, 0xCA}
                                                     << hex("c0010203"
                                                            "04ca");
}

void TestLink::validation()
{
    QFETCH(Bytes, report);
    QFETCH(QByteArray, emitted);

    Link link;
    QTRY_COMPARE_WITH_TIMEOUT(link.connected.count(), 1, kWait);
    // A stale buffer must not leak into a short report: read a long one first.
    simhid::injectReport(Bytes(64, 0x7F));
    simhid::injectReport(report);
    const Bytes sentinel = status(0x8F, 1);
    simhid::injectReport(sentinel);
    QTRY_VERIFY_WITH_TIMEOUT(!link.messages.isEmpty() &&
                                 link.messages.last().first().toByteArray() ==
                                     QByteArray(reinterpret_cast<const char *>(sentinel.data()), 6),
                             kWait);

    QList<QByteArray> got;
    for (const QList<QVariant> &args : link.messages)
        got << args.first().toByteArray();
    got.removeLast();
    QCOMPARE(got, emitted.isEmpty() ? QList<QByteArray>() : QList<QByteArray>{emitted});
}

void TestLink::oneReportPerCycle()
{
    Link link;
    QTRY_COMPARE_WITH_TIMEOUT(link.connected.count(), 1, kWait);
    link.messages.clear();

    simhid::flood(50, status(0x81, 10));
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(500);
    const qint64 elapsed = clock.elapsed();
    // Each cycle sleeps 100 ms after its one read, so no more than this can have come.
    QVERIFY(!link.messages.isEmpty());
    QVERIFY2(
        link.messages.count() <= elapsed / 100 + 1,
        qPrintable(QStringLiteral("%1 reports in %2 ms").arg(link.messages.count()).arg(elapsed)));
}

void TestLink::writesNeedAnOpenHandle()
{
    {
        simhid::unplug();
        Link link;
        link.write(kRequest);
        QCOMPARE(simhid::callCount("hid_write"), std::size_t(0)); // hidapi not even asked
    }
    {
        simhid::reset();
        simhid::setOpenRefused(true);
        Link link;
        QTRY_VERIFY_WITH_TIMEOUT(simhid::callCount("hid_open") >= 2, kWait);
        link.write(kRequest);
        QCOMPARE(simhid::callCount("hid_write"), std::size_t(0));
    }
    {
        simhid::reset();
        Link link;
        QTRY_COMPARE_WITH_TIMEOUT(link.connected.count(), 1, kWait);
        link.write(kRequest);
        const auto writes = simhid::writes();
        QCOMPARE(writes.size(), std::size_t(1));
        QCOMPARE(Bytes(writes[0].begin(), writes[0].end()), kRequest);
    }
}

void TestLink::eachThreadKeepsToItsCalls()
{
    simhid::unplug();
    Link link;
    simhid::plug();
    QTRY_COMPARE_WITH_TIMEOUT(link.connected.count(), 1, kWait);
    link.write(kRequest);
    simhid::unplug();
    QTRY_COMPARE_WITH_TIMEOUT(link.connected.count(), 2, kWait);

    const std::thread::id gui = std::this_thread::get_id();
    QSet<QString> onGui, onWorker;
    bool configuring = true;
    for (const simhid::Call &call : simhid::calls()) {
        const QString name = QString::fromStdString(call.function);
        if (call.thread == gui) {
            // Only the presence check while configuring, before the worker runs.
            if (!(configuring && name.startsWith("hid_enumerate")) &&
                !(configuring && name == "hid_free_enumeration"))
                onGui << name;
        } else {
            configuring = false;
            onWorker << name;
        }
    }
    QCOMPARE(onGui, QSet<QString>{"hid_write"});
    QVERIFY(onWorker.contains("hid_open") && onWorker.contains("hid_read") &&
            onWorker.contains("hid_close"));
    QVERIFY(!onWorker.contains("hid_write"));
}

void TestLink::writesNeverMeetAClose()
{
    // Widen every call so that an unguarded overlap would be caught nearly every time.
    simhid::setCallDelay(std::chrono::microseconds(300));
    simhid::setLogging(false);
    simhid::unplug();
    Link link;

    std::atomic<bool> done{false};
    std::thread plugger([&] {
        std::mt19937 random(12345);
        std::uniform_int_distribution<int> pause(0, 350);
        for (int i = 0; i < 12; ++i) {
            simhid::plug();
            std::this_thread::sleep_for(std::chrono::milliseconds(150 + pause(random)));
            simhid::unplug();
            std::this_thread::sleep_for(std::chrono::milliseconds(150 + pause(random)));
        }
        done = true;
    });
    std::size_t attempted = 0;
    while (!done) {
        link.write(kRequest);
        ++attempted;
        QCoreApplication::processEvents();
        QThread::usleep(200);
    }
    plugger.join();
    QTRY_VERIFY_WITH_TIMEOUT(link.connected.count() % 2 == 0, kWait);

    QVERIFY2(simhid::violations().empty(), violationsText().constData());
    QVERIFY(!simhid::writes().empty());
    QVERIFY(simhid::writes().size() < attempted); // the rest found no open handle
    // Every connection was followed by exactly one disconnection.
    const QList<bool> states = link.states();
    QVERIFY(states.size() >= 2);
    for (int i = 0; i < states.size(); ++i)
        QCOMPARE(states[i], i % 2 == 0);
}

void TestLink::destructorClosesTheHandle()
{
    {
        Link link;
        QTRY_COMPARE_WITH_TIMEOUT(link.connected.count(), 1, kWait);
        QCOMPARE(simhid::openHandles(), std::size_t(1));
    }
    QCOMPARE(simhid::openHandles(), std::size_t(0));
    const std::vector<simhid::Call> calls = simhid::calls();
    QVERIFY(!calls.empty());
    QCOMPARE(QString::fromStdString(calls.back().function), QStringLiteral("hid_exit"));
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
