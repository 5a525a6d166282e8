// The pure parts: report bytes, validation and payloads, the LED table.
#include "ledbrightness.h"
#include "report.h"

#include <QtTest>

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void ledBrightnessTable()
    {
        // Level 1 is 4.58: rounding would send 5.
        QCOMPARE(computeLedBrightnessTable(), (LedBrightnessTable{0, 4, 15, 30, 52, 100}));
    }

    void commandBytes_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("value");
        QTest::addColumn<QByteArray>("hex");
        QTest::newRow("inhibit 1000") << 3 << 1000 << QByteArray("0003000003e8ee");
        QTest::newRow("firmware request") << 0x86 << 0 << QByteArray("00860000000086");
        QTest::newRow("inhibit 600000") << 3 << 600000 << QByteArray("0003000927c0f3");
        QTest::newRow("checksum wraps") << 2 << 255 << QByteArray("0002000000ff01");
        QTest::newRow("negative value") << 1 << -1 << QByteArray("0001fffffffffd");
    }
    void commandBytes()
    {
        QFETCH(int, code);
        QFETCH(int, value);
        QFETCH(QByteArray, hex);
        const report::Command c = report::buildCommand(std::uint8_t(code), value);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(c.data()), int(c.size())).toHex(), hex);
    }

    // u8, s8, u16, u32, version major and minor, which read whatever the
    // bytes, then whether the report is valid (1) by its length and sum. The link's own test
    // takes the plain cases of validity: bad sums, code 0, unknown codes.
    void payloads_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<QList<qint64>>("expected");
        const auto row = [](const char *name, const char *hex, QList<qint64> values) {
            QTest::newRow(name) << QByteArray::fromHex(hex) << values;
        };
        row("small", "830102030400", {4, 4, 0x0304, 0x01020304, 12, 34, 0});
        row("high bits", "83ff80fefe00", {254, -2, 0xFEFE, 0xFF80FEFE, 2678, 2794, 0});
        row("2^31", "838000000000", {0, 0, 0, 0x80000000LL, 1280, 0, 0});
        row("2^31 - 1", "837fffffff00", {255, -1, 0xFFFF, INT32_MAX, 1525, 2805, 0});
        row("sum 257 wraps", "820000007f01", {127, 127, 127, 127, 0, 127, 1});
        row("five bytes only", "8000000080", {128, -128, 128, 128, 0, 128, 0});
    }
    void payloads()
    {
        QFETCH(QByteArray, report);
        QFETCH(QList<qint64>, expected);
        const auto *p = reinterpret_cast<const std::uint8_t *>(report.constData());
        const report::Version v = report::payloadVersion(p);
        QCOMPARE((QList<qint64>{report::payloadU8(p), report::payloadS8(p), report::payloadU16(p),
                                report::payloadU32(p), v.major, v.minor,
                                report::isValidStatus(p, std::size_t(report.size()))}),
                 expected);
    }
};

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
