// What the program changes before its QApplication exists, and that a user's choice wins.
#include "windowframe.h"

#include <QtTest>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void environmentDefaults_data();
    void environmentDefaults();
};

void TestStartup::environmentDefaults_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("userValue"); // empty: not set by the user
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("GL integration left out")
        << QByteArray("QT_XCB_GL_INTEGRATION") << QByteArray() << QByteArray("none");
    QTest::newRow("GL integration chosen by the user")
        << QByteArray("QT_XCB_GL_INTEGRATION") << QByteArray("xcb_glx") << QByteArray("xcb_glx");
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    QTest::newRow("session bus at the per-user socket")
        << QByteArray("DBUS_SESSION_BUS_ADDRESS") << QByteArray()
        << QByteArray("unix:path=/tmp/orv-runtime/bus");
    QTest::newRow("session bus chosen by the user")
        << QByteArray("DBUS_SESSION_BUS_ADDRESS") << QByteArray("unix:path=/elsewhere")
        << QByteArray("unix:path=/elsewhere");
#endif
}

void TestStartup::environmentDefaults()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, userValue);
    QFETCH(QByteArray, expected);

    qputenv("XDG_RUNTIME_DIR", "/tmp/orv-runtime");
    if (userValue.isEmpty())
        qunsetenv(name.constData());
    else
        qputenv(name.constData(), userValue);
    prepareApplication();
    QCOMPARE(qgetenv(name.constData()), expected);
    QVERIFY(QCoreApplication::testAttribute(Qt::AA_EnableHighDpiScaling));
}

QTEST_APPLESS_MAIN(TestStartup)
#include "tst_startup.moc"
