// The simulated ORV must be right before it can judge the program: these cases pin its
// bytes and its intervalometer timeline against hand-computed reports.
#include "orvmodel.h"

#include <QtTest>

namespace {

void send(OrvModel &m, std::uint8_t code, std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    std::uint8_t msg[6] = {
        code, std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v),
        0};
    msg[5] = std::uint8_t(msg[0] + msg[1] + msg[2] + msg[3] + msg[4]);
    m.receive(msg);
}

// Next queued report as bytes, or empty when nothing is queued.
QByteArray take(OrvModel &m)
{
    std::uint8_t out[6];
    if (!m.takeReport(out))
        return {};
    return QByteArray(reinterpret_cast<const char *>(out), 6);
}

QByteArray request(OrvModel &m, std::uint8_t code)
{
    send(m, code, 0);
    return take(m);
}

QList<QByteArray> requestAll(OrvModel &m)
{
    QList<QByteArray> all;
    for (int code = 0x80; code <= 0x90; ++code)
        all << request(m, std::uint8_t(code));
    return all;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

class TestOrvModel : public QObject
{
    Q_OBJECT

private slots:
    void requestAnswers_data();
    void requestAnswers();
    void commandChangesOneSetting_data();
    void commandChangesOneSetting();
    void ignoredMessages_data();
    void ignoredMessages();
    void identityReports_data();
    void identityReports();
    void intervalometer_data();
    void intervalometer();
    void queueOrder();
};

void TestOrvModel::requestAnswers_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("charge") << 0x80 << hex("800000000181");
    QTest::newRow("sensitivity min u8") << 0x81 << hex("810000000788");
    QTest::newRow("sensitivity max sum wraps") << 0x82 << hex("82000000ff81");
    QTest::newRow("inhibit u32") << 0x83 << hex("83000927c073");
    QTest::newRow("aux delay u32") << 0x84 << hex("84000003e86f");
    QTest::newRow("aux sensor flag") << 0x85 << hex("850000000186");
    QTest::newRow("firmware digits") << 0x86 << hex("86000200068e");
    QTest::newRow("pwm") << 0x87 << hex("8700000064eb");
    QTest::newRow("nr shots u16") << 0x88 << hex("880000270fbe");
    QTest::newRow("release u16") << 0x89 << hex("8900000e10a7");
    QTest::newRow("interval u16") << 0x8A << hex("8a000001028d");
    QTest::newRow("start delay") << 0x8B << hex("8b00000063ee");
    QTest::newRow("inter state idle") << 0x8C << hex("8c000000018d");
    QTest::newRow("inter shot none yet") << 0x8D << hex("8d000000008d");
    QTest::newRow("level s8 negative") << 0x8E << hex("8e000000ff8d");
    QTest::newRow("prefocus") << 0x8F << hex("8f0000000190");
    QTest::newRow("battery") << 0x90 << hex("900000004bdb");
}

void TestOrvModel::requestAnswers()
{
    QFETCH(int, code);
    QFETCH(QByteArray, reply);

    OrvModel m;
    OrvModel::Settings s;
    s.sensitivityMin = 7;
    s.sensitivityMax = 255;
    s.inhibitMs = 600000;
    s.auxDelayMs = 1000;
    s.auxSensor = true;
    s.pwmLed = 100;
    s.interNrShot = 9999;
    s.interReleaseS = 3600;
    s.interIntervalS = 258;
    s.interStartDelayS = 99;
    s.curSensitivity = -1;
    s.prefocus = true;
    m.setSettings(s);
    m.setFirmware(2, 6);
    m.setBattery(75);
    m.setCharging(true);

    QCOMPARE(request(m, std::uint8_t(code)), reply);
    QCOMPARE(m.pending(), size_t(0)); // exactly one answer per request
    QVERIFY(m.settings() == s);
}

void TestOrvModel::commandChangesOneSetting_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("sensitivity min") << 0x01 << 200 << 0x81 << hex("81000000c849");
    QTest::newRow("sensitivity max") << 0x02 << 201 << 0x82 << hex("82000000c94b");
    QTest::newRow("inhibit") << 0x03 << 600000 << 0x83 << hex("83000927c073");
    QTest::newRow("aux delay") << 0x04 << 0 << 0x84 << hex("840000000084");
    QTest::newRow("aux sensor") << 0x05 << 1 << 0x85 << hex("850000000186");
    QTest::newRow("pwm") << 0x09 << 4 << 0x87 << hex("87000000048b");
    QTest::newRow("nr shots unlimited") << 0x0A << 0 << 0x88 << hex("880000000088");
    QTest::newRow("release") << 0x0B << 3600 << 0x89 << hex("8900000e10a7");
    QTest::newRow("interval") << 0x0C << 1 << 0x8A << hex("8a000000018b");
    QTest::newRow("start delay") << 0x0D << 99 << 0x8B << hex("8b00000063ee");
    QTest::newRow("level") << 0x10 << 4 << 0x8E << hex("8e0000000492");
    QTest::newRow("prefocus off") << 0x11 << 0 << 0x8F << hex("8f000000008f");
}

void TestOrvModel::commandChangesOneSetting()
{
    QFETCH(int, code);
    QFETCH(int, value);
    QFETCH(int, status);
    QFETCH(QByteArray, reply);

    OrvModel m;
    const OrvModel::Settings initial = m.settings();
    const QList<QByteArray> before = requestAll(m);
    QVERIFY2(before[status - 0x80] != reply, "default must differ for the case to mean anything");

    m.clearReceived();
    send(m, std::uint8_t(code), value);
    QCOMPARE(m.pending(), size_t(0));
    QCOMPARE(m.received().size(), size_t(1));
    QCOMPARE(int(m.received()[0].code), code);
    QCOMPARE(m.received()[0].value, value);
    QVERIFY(m.settings() != initial);

    const QList<QByteArray> after = requestAll(m);
    for (int i = 0; i < after.size(); ++i) {
        if (i == status - 0x80)
            QCOMPARE(after[i], reply);
        else
            QCOMPARE(after[i], before[i]);
    }
}

void TestOrvModel::ignoredMessages_data()
{
    QTest::addColumn<QByteArray>("msg");
    QTest::addColumn<bool>("recorded");
    QTest::addColumn<int>("lagStarts");

    QTest::newRow("command, bad checksum") << hex("01000000c8c8") << false << 0;
    QTest::newRow("request, bad checksum") << hex("860000000087") << false << 0;
    QTest::newRow("request with a value") << hex("860000000187") << true << 0;
    QTest::newRow("unknown command 7") << hex("07000000050c") << true << 0;
    QTest::newRow("unknown command 0x12") << hex("120000000113") << true << 0;
    QTest::newRow("code 0") << hex("000000000000") << true << 0;
    QTest::newRow("past the status codes") << hex("910000000091") << true << 0;
    QTest::newRow("lag measurement") << hex("060000000006") << true << 1;
}

void TestOrvModel::ignoredMessages()
{
    QFETCH(QByteArray, msg);
    QFETCH(bool, recorded);
    QFETCH(int, lagStarts);

    OrvModel m;
    const OrvModel::Settings initial = m.settings();
    m.receive(reinterpret_cast<const std::uint8_t *>(msg.constData()));

    QCOMPARE(m.pending(), size_t(0));
    QVERIFY(m.settings() == initial);
    QCOMPARE(m.interState(), 1);
    QCOMPARE(m.received().size(), size_t(recorded ? 1 : 0));
    QCOMPARE(m.badChecksums(), size_t(recorded ? 0 : 1));
    QCOMPARE(m.lagStarts(), size_t(lagStarts));
    if (recorded)
        QCOMPARE(int(m.received()[0].code), int(std::uint8_t(msg[0])));
}

void TestOrvModel::identityReports_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("battery");
    QTest::addColumn<bool>("charging");
    QTest::addColumn<QByteArray>("firmware");
    QTest::addColumn<QByteArray>("batteryReport");
    QTest::addColumn<QByteArray>("charge");

    QTest::newRow("legacy, flat, charged") << 2 << 5 << 0 << false << hex("86000200058d")
                                           << hex("900000000090") << hex("800000000080");
    QTest::newRow("two-digit parts, full, charging")
        << 10 << 23 << 255 << true << hex("86010002038c") << hex("90000000ff8f")
        << hex("800000000181");
    QTest::newRow("1.00") << 1 << 0 << 42 << true << hex("860001000087") << hex("900000002aba")
                          << hex("800000000181");
}

void TestOrvModel::identityReports()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, battery);
    QFETCH(bool, charging);
    QFETCH(QByteArray, firmware);
    QFETCH(QByteArray, batteryReport);
    QFETCH(QByteArray, charge);

    OrvModel m;
    m.setFirmware(major, minor);
    m.setBattery(std::uint8_t(battery));
    m.setCharging(charging);
    QCOMPARE(m.firmwareMajor(), major);
    QCOMPARE(m.firmwareMinor(), minor);
    QCOMPARE(int(m.battery()), battery);
    QCOMPARE(m.charging(), charging);

    QCOMPARE(request(m, 0x86), firmware);
    QCOMPARE(request(m, 0x90), batteryReport);
    QCOMPARE(request(m, 0x80), charge);
}

void TestOrvModel::intervalometer_data()
{
    QTest::addColumn<int>("nrShot");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("release");
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("actionAt"); // ms, -1 for none
    QTest::addColumn<int>("action");   // command sent at actionAt
    QTest::addColumn<int>("runFor");
    // "<ms> <report>...": S<n> = state n, N<n> = exposure number n.
    QTest::addColumn<QString>("timeline");

    QTest::newRow("three shots") << 3 << 2 << 1 << 3 << -1 << 0 << 20000
                                 << "0 S2, 2000 N1 S3, 3000 S4, 6000 N2 S3, 7000 S4, "
                                    "10000 N3 S3, 11000 S1";
    QTest::newRow("single shot") << 1 << 1 << 4 << 1 << -1 << 0 << 10000
                                 << "0 S2, 1000 N1 S3, 5000 S1";
    QTest::newRow("endless") << 0 << 1 << 2 << 1 << -1 << 0 << 10000
                             << "0 S2, 1000 N1 S3, 3000 S4, 4000 N2 S3, 6000 S4, 7000 N3 S3, "
                                "9000 S4, 10000 N4 S3";
    QTest::newRow("stop before first exposure")
        << 2 << 5 << 1 << 1 << 1000 << 0x0F << 10000 << "0 S2, 1000 S1";
    QTest::newRow("stop during exposure")
        << 5 << 1 << 2 << 2 << 2500 << 0x0F << 15000 << "0 S2, 1000 N1 S3, 2500 S1";
    QTest::newRow("stop while waiting")
        << 5 << 1 << 1 << 3 << 4200 << 0x0F << 15000 << "0 S2, 1000 N1 S3, 2000 S4, 4200 S1";
    QTest::newRow("stop as an exposure ends")
        << 5 << 1 << 2 << 2 << 3000 << 0x0F << 15000 << "0 S2, 1000 N1 S3, 3000 S4 S1";
    QTest::newRow("start again mid-series") << 0 << 1 << 1 << 1 << 2500 << 0x0E << 5500
                                            << "0 S2, 1000 N1 S3, 2000 S4, 2500 S2, "
                                               "3500 N1 S3, 4500 S4, 5500 N2 S3";
    QTest::newRow("zero durations last a second") << 2 << 0 << 0 << 0 << -1 << 0 << 10000
                                                  << "0 S2, 1000 N1 S3, 2000 S4, 3000 N2 S3, "
                                                     "4000 S1";
}

void TestOrvModel::intervalometer()
{
    QFETCH(int, nrShot);
    QFETCH(int, delay);
    QFETCH(int, release);
    QFETCH(int, interval);
    QFETCH(int, actionAt);
    QFETCH(int, action);
    QFETCH(int, runFor);
    QFETCH(QString, timeline);

    QStringList expected;
    for (const QString &group : timeline.split(", ")) {
        const QStringList parts = group.split(' ');
        for (int i = 1; i < parts.size(); ++i) {
            QByteArray r(6, 0);
            r[0] = char(parts[i][0] == 'S' ? 0x8C : 0x8D);
            r[4] = char(parts[i].mid(1).toInt());
            r[5] = char(r[0] + r[4]);
            expected << parts[0] + ' ' + r.toHex();
        }
    }

    OrvModel m;
    send(m, 0x0A, nrShot);
    send(m, 0x0D, delay);
    send(m, 0x0B, release);
    send(m, 0x0C, interval);
    QCOMPARE(m.pending(), size_t(0));

    // Step like the program's poll so that a report early or late by a step shows.
    QStringList seen;
    auto drain = [&](int t) {
        for (QByteArray r = take(m); !r.isEmpty(); r = take(m))
            seen << QString::number(t) + ' ' + r.toHex();
    };
    send(m, 0x0E, 0);
    drain(0);
    for (int t = 100; t <= runFor; t += 100) {
        m.advance(std::chrono::milliseconds(100));
        if (t == actionAt)
            send(m, std::uint8_t(action), 0);
        drain(t);
    }
    QCOMPARE(seen, expected);
    QCOMPARE(m.now(), std::chrono::milliseconds(runFor));

    // A request for the state agrees with the last report sent on its own.
    const QString last = expected.filter(" 8c").last();
    QCOMPARE(QString::fromLatin1(request(m, 0x8C).toHex()), last.section(' ', 1));
}

void TestOrvModel::queueOrder()
{
    OrvModel m;
    const std::uint8_t shortRaw[3] = {0x8D, 0x01, 0x02};
    std::uint8_t longRaw[100];
    std::fill(std::begin(longRaw), std::end(longRaw), 0xAB);

    m.queueRaw(shortRaw, sizeof shortRaw);
    send(m, 0x90, 0);
    m.queueRaw(longRaw, sizeof longRaw);
    m.queueRaw(nullptr, 0);
    QCOMPARE(m.pending(), size_t(4));

    OrvModel::Queued q;
    QVERIFY(m.takeNext(q));
    QVERIFY(q.injected);
    QCOMPARE(q.bytes, std::vector<std::uint8_t>(shortRaw, shortRaw + 3));
    QVERIFY(m.takeNext(q));
    QVERIFY(!q.injected);
    QCOMPARE(q.bytes.size(), size_t(6));
    QCOMPARE(q.bytes[0], std::uint8_t(0x90));
    QVERIFY(m.takeNext(q));
    QCOMPARE(q.bytes, std::vector<std::uint8_t>(64, 0xAB));
    QVERIFY(m.takeNext(q));
    QVERIFY(q.bytes.empty());
    QVERIFY(!m.takeNext(q));

    // A short injected report reaches a 6-byte reader zero-filled.
    m.queueRaw(shortRaw, sizeof shortRaw);
    QCOMPARE(take(m), hex("8d0102000000"));
    QVERIFY(take(m).isEmpty());
}

QTEST_APPLESS_MAIN(TestOrvModel)
#include "tst_orvmodel.moc"
