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
    void ignoredMessages_data();
    void ignoredMessages();
    void intervalometer_data();
    void intervalometer();
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

QTEST_APPLESS_MAIN(TestOrvModel)
#include "tst_orvmodel.moc"
