// The pure parts: report bytes, validation and payloads, the LED table, and what the program
// sets up before its QApplication exists.
#include "ledbrightness.h"
#include "report.h"
#include "startup.h"

#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class TestProtocol : public QObject
{
    Q_OBJECT

    static const std::uint8_t *bytes(const QByteArray &a)
    {
        return reinterpret_cast<const std::uint8_t *>(a.constData());
    }

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

    // u8, s8, u16, u32, u32 for a spin box, version major and minor, which read whatever the
    // bytes, then whether the report is valid (1) by its length and sum. The link's own test
    // takes the plain cases of validity: bad sums, code 0, unknown codes.
    void payloads_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<QList<qint64>>("expected");
        const auto row = [](const char *name, const char *hex, QList<qint64> values) {
            QTest::newRow(name) << QByteArray::fromHex(hex) << values;
        };
        row("small", "830102030400", {4, 4, 0x0304, 0x01020304, 0x01020304, 12, 34, 0});
        row("high bits", "83ff80fefe00", {254, -2, 0xFEFE, 0xFF80FEFE, INT32_MAX, 2678, 2794, 0});
        row("2^31", "838000000000", {0, 0, 0, 0x80000000LL, INT32_MAX, 1280, 0, 0});
        row("2^31 - 1", "837fffffff00", {255, -1, 0xFFFF, INT32_MAX, INT32_MAX, 1525, 2805, 0});
        row("sum 257 wraps", "820000007f01", {127, 127, 127, 127, 127, 0, 127, 1});
        row("five bytes only", "8000000080", {128, -128, 128, 128, 128, 0, 128, 0});
    }
    void payloads()
    {
        QFETCH(QByteArray, report);
        QFETCH(QList<qint64>, expected);
        const std::uint8_t *p = bytes(report);
        const report::Version v = report::payloadVersion(p);
        QCOMPARE((QList<qint64>{report::payloadU8(p), report::payloadS8(p), report::payloadU16(p),
                                report::payloadU32(p), report::payloadU32AsInt(p), v.major, v.minor,
                                report::isValidStatus(p, std::size_t(report.size()))}),
                 expected);
    }

    // What the program sets before its QApplication exists, unless the user chose otherwise.
    void startupDefaults()
    {
        const char *gl = "QT_XCB_GL_INTEGRATION", *bus = "DBUS_SESSION_BUS_ADDRESS";
        qputenv("XDG_RUNTIME_DIR", "/r");
        qunsetenv(gl);
        qunsetenv(bus);
        prepareApplication();
        // Qt 6 loads no GL integration unless asked; Qt 5 needs to be told.
        QCOMPARE(qgetenv(gl), QByteArray(QT_VERSION_MAJOR == 5 ? "none" : ""));
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
        QCOMPARE(qgetenv(bus), QByteArray("unix:path=/r/bus"));
#endif
        qputenv(gl, "xcb_glx");
        qputenv(bus, "unix:path=/x");
        prepareApplication();
        QCOMPARE(qgetenv(gl), QByteArray("xcb_glx"));
        QCOMPARE(qgetenv(bus), QByteArray("unix:path=/x"));
        QVERIFY(QCoreApplication::testAttribute(Qt::AA_ForceRasterWidgets));
    }

    // Qt 5.15 and 6.4 ask the compositor about frames, and only where Qt will run on Wayland;
    // one that accepts and never answers must neither hold the start nor lose the frame.
    void waylandProbe_data()
    {
        // QT_QPA_PLATFORM, XDG_SESSION_TYPE and the -platform argument
        QTest::addColumn<QByteArrayList>("env");
        QTest::addColumn<bool>("asksQt5");
        QTest::addColumn<bool>("asksQt6");
        QTest::newRow("X11 session") << QByteArrayList{"", "x11", ""} << false << true;
        QTest::newRow("no session") << QByteArrayList{"", "", ""} << false << true;
        QTest::newRow("Wayland session") << QByteArrayList{"", "wayland", ""} << true << true;
        QTest::newRow("xcb chosen") << QByteArrayList{"xcb", "wayland", ""} << false << false;
        QTest::newRow("listed first") << QByteArrayList{"wayland-egl;xcb", "", ""} << true << true;
        QTest::newRow("-platform") << QByteArrayList{"wayland", "", "xcb"} << false << false;
    }
    void waylandProbe()
    {
        QFETCH(QByteArrayList, env);
        QFETCH(bool, asksQt5);
        QFETCH(bool, asksQt6);
        QTemporaryDir dir;
        sockaddr_un address{AF_UNIX, {}};
        const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("silent")));
        qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
        const int silent = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        QVERIFY(bind(silent, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
        QVERIFY(listen(silent, 8) == 0);
        qputenv("WAYLAND_DISPLAY", path);
        qputenv("QT_QPA_PLATFORM", env[0]);
        qputenv("XDG_SESSION_TYPE", env[1]);
        qunsetenv("QT_WAYLAND_DISABLE_WINDOWDECORATION");
        char name[] = "orv", option[] = "-platform";
        char *argv[] = {name, option, env[2].data()};
        prepareApplication(env[2].isEmpty() ? 1 : 3, argv);
        const int asked = accept(silent, nullptr, nullptr);
        QCOMPARE(asked >= 0, QT_VERSION_MAJOR == 5 ? asksQt5 : asksQt6 && QT_VERSION < 0x060800);
        QVERIFY(!qEnvironmentVariableIsSet("QT_WAYLAND_DISABLE_WINDOWDECORATION"));
        close(asked);
        close(silent);
    }
};

QTEST_APPLESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
