// What the program sets up before its QApplication exists: environment defaults, and the
// Wayland compositor probe.
#include "startup.h"

#include <QtTest>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
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

QTEST_APPLESS_MAIN(TestStartup)
#include "tst_startup.moc"
