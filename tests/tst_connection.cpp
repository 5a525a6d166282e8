// The window's connected and disconnected displays, driven by the real link over the
// simulated ORV.
#include "hidthread.h"
#include "mainwindow.h"
#include "simhid.h"
#include "testmain.h"
#include "windowframe.h"

#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QStatusBar>
#include <QtTest>

using Report = std::array<std::uint8_t, 7>;

namespace {

constexpr int kWait = 5000;

const QString kGreenBar = QStringLiteral(" QStatusBar {background: rgb(30,200,40);}");
const QString kRedBar = QStringLiteral(" QStatusBar {background: rgb(200,20,20);}");
const QString kGreenLabel = QStringLiteral(" QLabel {background: rgb(30,200,40);}");
const QString kRedLabel = QStringLiteral(" QLabel {background: rgb(200,20,20);}");

const QList<int> kRequestOrder{0x86, 0x80, 0x90, 0x85, 0x84, 0x81, 0x82, 0x87,
                               0x83, 0x8E, 0x8F, 0x8B, 0x8A, 0x88, 0x89};
const char *const kGroups[] = {"groupGeneral", "groupBox_4", "groupInterval", "groupLag"};

// What the user sees at one moment.
struct Display
{
    QStringList texts; // the four status-bar cells, left to right
    QStringList labelStyles;
    QString barStyle;
    QList<bool> groupsEnabled;
    std::size_t writes = 0;
};

template <typename T> QList<T> fourOf(const T &value)
{
    return {value, value, value, value};
}

Display look(QMainWindow &window)
{
    Display d;
    QList<QLabel *> labels =
        window.statusBar()->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
    std::sort(labels.begin(), labels.end(), [](QLabel *a, QLabel *b) { return a->x() < b->x(); });
    for (QLabel *label : labels) {
        d.texts << label->text();
        d.labelStyles << label->styleSheet();
    }
    d.barStyle = window.statusBar()->styleSheet();
    for (const char *name : kGroups)
        d.groupsEnabled << window.findChild<QGroupBox *>(name)->isEnabled();
    d.writes = simhid::writes().size();
    return d;
}

QList<int> requestCodes(std::size_t from, std::size_t count)
{
    QList<int> codes;
    const auto writes = simhid::writes();
    for (std::size_t i = from; i < from + count && i < writes.size(); ++i) {
        const Report &r = writes[i];
        // A request: the status code, a zero value, so the checksum equals the code.
        if (r[0] != 0 || r[2] || r[3] || r[4] || r[5] || r[6] != r[1])
            return {-1};
        codes << r[1];
    }
    return codes;
}

} // namespace

class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void init() { simhid::reset(); }
    void startsDisconnected();
    void connectingAsksForTheWholeState();
    void unplugGoesRedAndKeepsValues();
    void connectedTwiceAsksTwice();
};

void TestConnection::startsDisconnected()
{
    simhid::unplug();
    MainWindow window;
    // Before the link has said anything.
    const Display d = look(window);
    QCOMPARE(d.texts, (QStringList{"ORV non détecté", "", "", ""}));
    QCOMPARE(d.labelStyles, fourOf(kRedLabel));
    QCOMPARE(d.barStyle, kRedBar);
    QCOMPARE(d.groupsEnabled, fourOf(false));

    QTRY_VERIFY_WITH_TIMEOUT(simhid::callCount("hid_enumerate") >= 4, kWait);
    QCOMPARE(simhid::callCount("hid_write"), std::size_t(0));
    QCOMPARE(look(window).barStyle, kRedBar);
}

void TestConnection::connectingAsksForTheWholeState()
{
    simhid::unplug();
    MainWindow window;
    // Seen right after the window handled the connection, before any answer is decoded.
    auto *link = window.findChild<hidthread *>();
    QVERIFY(link);
    Display atConnection;
    connect(link, &hidthread::HID_vConnectedSignal, &window, [&](bool up) {
        if (up)
            atConnection = look(window);
    });
    simhid::plug();
    QTRY_COMPARE_WITH_TIMEOUT(atConnection.writes, std::size_t(15), kWait);

    QCOMPARE(atConnection.texts, (QStringList{"ORV connecté", "", "", ""}));
    QCOMPARE(atConnection.labelStyles, fourOf(kGreenLabel));
    QCOMPARE(atConnection.barStyle, kGreenBar);
    QCOMPARE(atConnection.groupsEnabled, fourOf(true));
    QCOMPARE(requestCodes(0, 15), kRequestOrder);
}

void TestConnection::unplugGoesRedAndKeepsValues()
{
    MainWindow window;
    QTRY_COMPARE_WITH_TIMEOUT(look(window).barStyle, kGreenBar, kWait);
    auto *shots = window.findChild<QSpinBox *>("spinNrShot");
    const int shown = shots->value();

    simhid::unplug();
    QTRY_COMPARE_WITH_TIMEOUT(look(window).barStyle, kRedBar, kWait);
    const Display d = look(window);
    QCOMPARE(d.texts, (QStringList{"ORV non détecté", "", "", ""}));
    QCOMPARE(d.labelStyles, fourOf(kRedLabel));
    QCOMPARE(d.groupsEnabled, fourOf(false));
    QCOMPARE(shots->value(), shown);

    QTest::qWait(300);
    QCOMPARE(look(window).writes, d.writes); // nothing asked of a device that is gone
}

void TestConnection::connectedTwiceAsksTwice()
{
    MainWindow window;
    QTRY_COMPARE_WITH_TIMEOUT(look(window).barStyle, kGreenBar, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(simhid::writes().size() >= 15, true, kWait);
    const Display before = look(window);

    window.refreshConnection(true);
    window.refreshConnection(true);
    const Display after = look(window);
    QCOMPARE(after.writes, before.writes + 30);
    QCOMPARE(requestCodes(before.writes, 15), kRequestOrder);
    QCOMPARE(requestCodes(before.writes + 15, 15), kRequestOrder);
    QCOMPARE(after.barStyle, kGreenBar);
    QCOMPARE(after.texts.first(), QStringLiteral("ORV connecté"));
}

ORV_TEST_MAIN(TestConnection)
#include "tst_connection.moc"
