#include "ledbrightness.h"
#include "report.h"

#include <QtTest>

using Bytes = QVector<int>;

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void ledBrightnessTable();
    void commandBytes_data();
    void commandBytes();
    void statusValidation_data();
    void statusValidation();
};

void TestProtocol::ledBrightnessTable()
{
    const LedBrightnessTable table = computeLedBrightnessTable();
    // Level 1 is 4.58: rounding would send 5.
    const LedBrightnessTable expected{0, 4, 15, 30, 52, 100};
    for (std::size_t i = 0; i < table.size(); ++i)
        QCOMPARE(table[i], expected[i]);
}

void TestProtocol::commandBytes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("value");
    QTest::addColumn<Bytes>("bytes");

    QTest::newRow("inhibit 1000") << 3 << 1000 << Bytes{0x00, 0x03, 0x00, 0x00, 0x03, 0xE8, 0xEE};
    QTest::newRow("aux sensor on") << 5 << 1 << Bytes{0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0x06};
    QTest::newRow("firmware request")
        << int(StatusFirmware) << 0 << Bytes{0x00, 0x86, 0x00, 0x00, 0x00, 0x00, 0x86};
    QTest::newRow("inhibit 600000")
        << 3 << 600000 << Bytes{0x00, 0x03, 0x00, 0x09, 0x27, 0xC0, 0xF3};
    QTest::newRow("checksum wraps") << 2 << 255 << Bytes{0x00, 0x02, 0x00, 0x00, 0x00, 0xFF, 0x01};
    QTest::newRow("negative value") << 1 << -1 << Bytes{0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFD};
}

void TestProtocol::commandBytes()
{
    QFETCH(int, code);
    QFETCH(int, value);
    QFETCH(Bytes, bytes);

    const report::Command c = report::buildCommand(std::uint8_t(code), value);
    Bytes actual(c.begin(), c.end());
    QCOMPARE(actual, bytes);
    if (value == 0)
        QCOMPARE(report::buildRequest(std::uint8_t(code)), c);
}

void TestProtocol::statusValidation_data()
{
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<bool>("valid");

    QTest::newRow("inhibit 1000") << Bytes{0x83, 0x00, 0x00, 0x03, 0xE8, 0x6E} << true;
    QTest::newRow("max 127, sum 257") << Bytes{0x82, 0x00, 0x00, 0x00, 0x7F, 0x01} << true;
    QTest::newRow("max 127, bad sum") << Bytes{0x82, 0x00, 0x00, 0x00, 0x7F, 0x02} << false;
    QTest::newRow("shot, sum 269") << Bytes{0x8D, 0x00, 0x00, 0x00, 0x80, 0x0D} << true;
    QTest::newRow("code 0, sum right") << Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x01} << false;
    QTest::newRow("all zero") << Bytes{0, 0, 0, 0, 0, 0} << false;
    QTest::newRow("unknown code, sum right") << Bytes{0x91, 0x00, 0x00, 0x00, 0x00, 0x91} << true;
    QTest::newRow("five bytes only") << Bytes{0x80, 0x00, 0x00, 0x00, 0x00} << false;
    QTest::newRow("empty") << Bytes{} << false;
    QTest::newRow("64-byte report") << [] {
        Bytes b(64, 0xAA);
        b[0] = 0x90, b[1] = 0, b[2] = 0, b[3] = 0, b[4] = 0x4B, b[5] = 0xDB;
        return b;
    }() << true;
}

void TestProtocol::statusValidation()
{
    QFETCH(Bytes, bytes);
    QFETCH(bool, valid);

    std::vector<std::uint8_t> buffer(bytes.begin(), bytes.end());
    QCOMPARE(report::isValidStatus(buffer.data(), buffer.size()), valid);
}

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
