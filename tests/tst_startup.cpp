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
    // one that accepts and never answers must neither hold the start nor lose the frame: the
    // window goes to XWayland where the session offers it and the user chose no platform.
    void waylandProbe_data()
    {
        // QT_QPA_PLATFORM, XDG_SESSION_TYPE, the -platform argument and DISPLAY
        QTest::addColumn<QByteArrayList>("env");
        QTest::addColumn<bool>("asksQt5");
        QTest::addColumn<bool>("asksQt6");
        QTest::addColumn<bool>("toXWayland");
        const auto row = [](const char *name, const QByteArrayList &env, bool qt5, bool qt6,
                            bool x) { QTest::newRow(name) << env << qt5 << qt6 << x; };
        row("X11 session", {"", "x11", "", ":1"}, false, true, true);
        row("no session", {"", "", "", ""}, false, true, false);
        row("Wayland session", {"", "wayland", "", ""}, true, true, false);
        row("XWayland", {"", "wayland", "", ":1"}, true, true, true);
        row("xcb chosen", {"xcb", "wayland", "", ":1"}, false, false, false);
        row("listed first", {"wayland-egl;xcb", "", "", ":1"}, true, true, false);
        row("-platform", {"wayland", "", "xcb", ""}, false, false, false);
        row("-platform wayland", {"", "wayland", "wayland", ":1"}, true, true, false);
    }
    void waylandProbe()
    {
        QFETCH(QByteArrayList, env);
        QFETCH(bool, asksQt5);
        QFETCH(bool, asksQt6);
        QFETCH(bool, toXWayland);
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
        qputenv("DISPLAY", env[3]);
        qunsetenv("QT_WAYLAND_DISABLE_WINDOWDECORATION");
        char name[] = "orv", option[] = "-platform";
        char *argv[] = {name, option, env[2].data()};
        prepareApplication(env[2].isEmpty() ? 1 : 3, argv);
        const int asked = accept(silent, nullptr, nullptr);
        const bool asks = QT_VERSION_MAJOR == 5 ? asksQt5 : asksQt6 && QT_VERSION < 0x060800;
        QCOMPARE(asked >= 0, asks);
        QVERIFY(!qEnvironmentVariableIsSet("QT_WAYLAND_DISABLE_WINDOWDECORATION"));
        QCOMPARE(qgetenv("QT_QPA_PLATFORM"), asks && toXWayland ? QByteArray("xcb") : env[0]);
        close(asked);
        close(silent);
    }
};

QTEST_APPLESS_MAIN(TestStartup)
#include "tst_startup.moc"
