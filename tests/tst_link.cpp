// The device link against the simulated hidapi, on a short cycle: its states, its validation,
// one report per cycle, and that the GUI thread's writes never meet the worker's close, also
// over hundreds of hot-plug cycles (hotPlugUnderLoad; ORV_SOAK_CYCLES, default 12).
#include "hidthread.h"
#include "identity.h"
#include "simhid.h"

#include <QtTest>

#include <random>
#include <thread>
#include <unistd.h>

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

constexpr int kPeriodMs = 5; // the program's is 100 ms
constexpr int kWait = 5000;  // only ever waited for an expected event
const Bytes kRequest{0x00, 0x86, 0x00, 0x00, 0x00, 0x00, 0x86};

// The link's signals, recorded on the test's thread (QSignalSpy would append on the worker's).
struct Link
{
    hidthread thread{nullptr, kPeriodMs};
    QObject context;
    QList<bool> states;
    QList<QByteArray> messages;

    Link()
    {
        QObject::connect(&thread, &hidthread::HID_vConnectedSignal, &context,
                         [this](bool up) { states << up; });
        QObject::connect(&thread, &hidthread::HID_vInputMessageSignal, &context,
                         [this](const QByteArray &m) { messages << m; });
        thread.HID_vConfigure(orv::kVendorId, orv::kProductId, 64);
        thread.start();
    }
    void write() { thread.HID_vWrite(kRequest.data(), kRequest.size()); }
};

// The calls from `from` on of the GUI thread (gui) or the worker; enumerations with their count.
QStringList calls(bool gui, std::size_t from = 0)
{
    QStringList out;
    const auto all = simhid::calls();
    for (std::size_t i = from; i < all.size(); ++i)
        if ((all[i].thread == std::this_thread::get_id()) == gui &&
            all[i].function != "hid_free_enumeration")
            out << QString::fromStdString(all[i].function) +
                       (all[i].function == "hid_enumerate" ? QString("=%1").arg(all[i].result)
                                                           : QString());
    return out;
}

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void init() { simhid::reset(); }
    void cleanup()
    {
        const auto v = simhid::violations();
        QVERIFY2(v.empty(), v.empty() ? "" : v.front().c_str());
        QCOMPARE(simhid::liveEnumerations(), std::size_t(0));
        // Every test's link is gone by now: its handle closed, hidapi shut down last.
        QCOMPARE(simhid::openHandles(), std::size_t(0));
        const auto all = simhid::calls(); // empty where a test turned the log off
        QVERIFY(all.empty() || all.back().function == "hid_exit");
    }

    // Each plug gives one connection, each unplug one disconnection; writes go out only to an
    // open handle, and only the GUI thread writes.
    void plugUnplugReplug()
    {
        simhid::unplug();
        Link link;
        QTRY_VERIFY_WITH_TIMEOUT(simhid::callCount("hid_enumerate") >= 4, kWait);
        link.write();
        QVERIFY(link.states.isEmpty());
        for (int round = 0; round < 2; ++round) {
            const std::size_t before = simhid::calls().size();
            simhid::plug();
            QTRY_COMPARE_WITH_TIMEOUT(link.states.size(), 1 + 2 * round, kWait);
            QStringList worker = calls(false, before);
            while (!worker.isEmpty() && worker.first() == "hid_enumerate=0")
                worker.removeFirst();
            QCOMPARE(worker.mid(0, 3),
                     (QStringList{"hid_enumerate=1", "hid_open", "hid_set_nonblocking"}));
            link.write();
            const auto writes = simhid::writes();
            QCOMPARE(writes.size(), std::size_t(1 + round));
            QCOMPARE(Bytes(writes.back().begin(), writes.back().end()), kRequest);
            simhid::injectReport(statusReport(0x90, 75)); // behind the answer to the request
            QTRY_VERIFY_WITH_TIMEOUT(link.messages.contains(QByteArray::fromHex("900000004bdb")),
                                     kWait);

            simhid::unplug();
            QTRY_COMPARE_WITH_TIMEOUT(link.states.size(), 2 + 2 * round, kWait);
            const std::size_t enumerations = simhid::callCount("hid_enumerate");
            QTRY_VERIFY_WITH_TIMEOUT(simhid::callCount("hid_enumerate") > enumerations + 3, kWait);
            QCOMPARE(link.states.size(), 2 + 2 * round); // absent cycles have nothing to say
            QCOMPARE(simhid::openHandles(), std::size_t(0));
        }
        QCOMPARE(link.states, (QList<bool>{true, false, true, false}));
        QStringList gui = calls(true);
        gui.removeAll("hid_enumerate=0"); // the check while configuring
        QCOMPARE(gui, (QStringList{"hid_write", "hid_write"}));
    }

    void refusedOpenIsRetriedWithoutSignal()
    {
        simhid::setOpenRefused(true);
        Link link;
        QTRY_VERIFY_WITH_TIMEOUT(simhid::callCount("hid_open") >= 3, kWait);
        link.write();
        QVERIFY(link.states.isEmpty());
        QCOMPARE(simhid::callCount("hid_write"), std::size_t(0));
        // Still listed: the worker keeps trying to open instead of looking for it again.
        QCOMPARE(calls(false).filter("hid_enumerate").size(), 0);
        simhid::setOpenRefused(false);
        QTRY_COMPARE_WITH_TIMEOUT(link.states, QList<bool>{true}, kWait);
    }

    // A failed read or two keep the handle; a handle that keeps failing while the ORV stays
    // listed is dead (unplugged and plugged back between two checks) and is opened anew. Only
    // failures in a row count: an empty read ends a run, and so does a new handle.
    void readErrors_data()
    {
        QTest::addColumn<QList<int>>("runs"); // of failed reads; -1: replugged between two checks
        QTest::addColumn<QList<bool>>("states");
        const QList<bool> kept{true}, reopened{true, false, true};
        QTest::newRow("two, then two more") << QList<int>{2, 2} << kept;
        QTest::newRow("three failed reads") << QList<int>{3} << reopened;
        QTest::newRow("four: one on the new handle") << QList<int>{4} << reopened;
        QTest::newRow("replugged between two checks") << QList<int>{-1} << reopened;
    }
    void readErrors()
    {
        QFETCH(QList<int>, runs);
        QFETCH(QList<bool>, states);
        Link link;
        QTRY_COMPARE_WITH_TIMEOUT(link.states.size(), 1, kWait);
        for (int failures : runs) {
            // The failed reads, then two at least with nothing to read.
            const int until = int(simhid::callCount("hid_read")) + std::max(failures, 0) + 2;
            if (failures < 0) {
                simhid::unplug();
                simhid::plug();
            } else {
                simhid::failNextReads(std::size_t(failures));
            }
            QTRY_VERIFY_WITH_TIMEOUT(int(simhid::callCount("hid_read")) >= until, kWait);
        }
        simhid::injectReport(statusReport(0x80, 1));
        QTRY_COMPARE_WITH_TIMEOUT(link.messages.size(), 1, kWait);
        QCOMPARE(link.states, states);
        QCOMPARE(simhid::callCount("hid_open"), std::size_t(states.size() / 2 + 1));
        QCOMPARE(simhid::openHandles(), std::size_t(1));
    }

    void validation_data()
    {
        QTest::addColumn<Bytes>("report");
        QTest::addColumn<QByteArray>("emitted"); // empty: dropped
        Bytes longOne(64, 0xEE);
        std::copy_n(Bytes{0x90, 0, 0, 0, 0x4B, 0xDB}.begin(), 6, longOne.begin());
        QTest::newRow("valid") << Bytes{0x83, 0, 0, 0x03, 0xE8, 0x6E} << QByteArray("83000003e86e");
        QTest::newRow("64 bytes, tail ignored") << longOne << QByteArray("900000004bdb");
        QTest::newRow("wrong checksum") << Bytes{0x82, 0, 0, 0, 0x7F, 0x02} << QByteArray();
        QTest::newRow("code 0, sum right") << Bytes{0x00, 0x10, 0, 0, 0, 0x10} << QByteArray();
        QTest::newRow("short, zero fill fails the sum") << Bytes{0x80, 0, 0} << QByteArray();
        // The cleared buffer supplies the missing bytes, and here they complete the sum.
        QTest::newRow("short, zero fill completes the sum")
            << Bytes{0x01, 0xFF} << QByteArray("01ff00000000");
        QTest::newRow("unknown code")
            << Bytes{0xC0, 1, 2, 3, 4, 0xCA} << QByteArray("c001020304ca");
    }
    void validation()
    {
        QFETCH(Bytes, report);
        QFETCH(QByteArray, emitted);
        Link link;
        QTRY_COMPARE_WITH_TIMEOUT(link.states.size(), 1, kWait);
        // A stale buffer must not leak into a short report: a long one comes first.
        simhid::injectReport(Bytes(64, 0x7F));
        simhid::injectReport(report);
        simhid::injectReport(statusReport(0x8F, 1));
        QTRY_VERIFY_WITH_TIMEOUT(
            !link.messages.isEmpty() && link.messages.last().toHex() == "8f0000000190", kWait);
        QCOMPARE(link.messages.size(), emitted.isEmpty() ? 1 : 2);
        QCOMPARE(link.messages.first().toHex(), emitted.isEmpty() ? "8f0000000190" : emitted);
    }

    // A flood is taken one report per cycle: the worker's reads are a whole period apart.
    void oneReportPerCycle()
    {
        Link link;
        QTRY_COMPARE_WITH_TIMEOUT(link.states.size(), 1, kWait);
        const std::size_t from = simhid::calls().size();
        simhid::flood(20, statusReport(0x81, 10));
        QTRY_COMPARE_WITH_TIMEOUT(link.messages.size(), 20, kWait);
        std::vector<std::chrono::steady_clock::time_point> reads;
        const auto all = simhid::calls();
        for (std::size_t i = from; i < all.size(); ++i)
            if (all[i].function == "hid_read" && all[i].result > 0)
                reads.push_back(all[i].at);
        QCOMPARE(reads.size(), std::size_t(20));
        for (std::size_t i = 1; i < reads.size(); ++i) // a sleep only ever lasts longer
            QVERIFY(reads[i] - reads[i - 1] >= std::chrono::milliseconds(kPeriodMs - 1));
    }

    // The GUI thread writes without pause while the ORV is plugged and unplugged at random
    // moments and reports flow: every cycle gives one connection and one disconnection, and no
    // call meets a close (the simulator widens each call to catch overlaps). Leaks are for
    // valgrind and the sanitizers to find.
    void hotPlugUnderLoad()
    {
        const int cycles = qEnvironmentVariableIsSet("ORV_SOAK_CYCLES")
                               ? qEnvironmentVariableIntValue("ORV_SOAK_CYCLES")
                               : 12;
        simhid::setCallDelay(std::chrono::microseconds(300));
        simhid::setLogging(false);
        simhid::unplug();
        Link link;
        std::mt19937 random(12345);
        std::size_t attempted = 0, delivered = 0;
        const auto busyUntil = [&](int states) {
            QElapsedTimer clock;
            clock.start();
            const int minMs = int(random() % 30);
            while (link.states.size() < states || clock.elapsed() < minMs) {
                if (clock.elapsed() > kWait)
                    return false;
                link.write();
                ++attempted;
                if (random() % 8 == 0)
                    simhid::injectReport(
                        statusReport(0x80 + random() % 17, std::uint8_t(random())));
                QCoreApplication::processEvents();
                QThread::usleep(300);
            }
            return link.states.size() == states;
        };
        for (int cycle = 0; cycle < cycles; ++cycle) {
            simhid::plug();
            QVERIFY(busyUntil(2 * cycle + 1));
            simhid::unplug();
            QVERIFY(busyUntil(2 * cycle + 2));
            delivered += simhid::takeWrites().size();
            link.messages.clear();
        }
        for (int i = 0; i < link.states.size(); ++i)
            QCOMPARE(link.states[i], i % 2 == 0);
        QVERIFY(delivered > 0 && delivered < attempted); // the rest found no open handle
        qInfo("%d cycles, %zu of %zu writes delivered", cycles, delivered, attempted);
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
