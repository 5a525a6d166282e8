// The whole road: a real MainWindow, its link and the simulated ORV, as a user meets them.
#include "hidthread.h"
#include "mainwindow.h"
#include "simhid.h"
#include "testmain.h"
#include "windowframe.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QtTest>

#include <random>

using Settings = OrvModel::Settings;
using Sent = QList<QPair<int, int>>; // (command code, value) as the device decoded them
Q_DECLARE_METATYPE(Settings)

namespace {

constexpr int kWait = 8000;

// A connected window whose fifteen answers have all been applied.
class Session
{
public:
    explicit Session(const Settings &device, int major = 2, int minor = 7, int battery = 64,
                     bool charging = false)
    {
        simhid::reset();
        OrvModel &model = simhid::model(); // no link thread exists yet
        model.setSettings(device);
        model.setFirmware(major, minor);
        model.setBattery(std::uint8_t(battery));
        model.setCharging(charging);
        window.reset(new MainWindow);
        link = window->findChild<hidthread *>();
    }

    bool settle()
    {
        if (!QTest::qWaitFor([&] { return labels()[0]->text() == "ORV connecté"; }, kWait))
            return false;
        if (!QTest::qWaitFor([] { return pendingReports() == 0; }, kWait))
            return false;
        QTest::qWait(250); // the last report read is still on its way to the window
        return true;
    }

    template <typename T> T *w(const char *name) const
    {
        T *found = window->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no widget %s", name);
        return found;
    }

    QList<QLabel *> labels() const
    {
        QList<QLabel *> l =
            window->statusBar()->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
        std::sort(l.begin(), l.end(), [](QLabel *a, QLabel *b) { return a->x() < b->x(); });
        return l;
    }

    // What the device has received from here on.
    void mark() { from = received().size(); }
    Sent sentSinceMark() const { return received().mid(int(from)); }

    static Sent received()
    {
        Sent out;
        simhid::withModel([&](OrvModel &m) {
            for (const OrvModel::Received &r : m.received())
                out << qMakePair(int(r.code), int(r.value));
        });
        return out;
    }
    static Settings deviceSettings()
    {
        Settings s;
        simhid::withModel([&](OrvModel &m) { s = m.settings(); });
        return s;
    }
    static std::size_t pendingReports()
    {
        std::size_t n = 0;
        simhid::withModel([&](OrvModel &m) { n = m.pending(); });
        return n;
    }

    // Exactly one sensor is in use: on old firmware the built-in group has no check box and
    // the auxiliary one is unavailable.
    bool oneSensorInUse() const
    {
        auto *integrated = w<QGroupBox>("grpInt");
        auto *aux = w<QGroupBox>("grpAux");
        const bool intUsed = !integrated->isCheckable() || integrated->isChecked();
        const bool auxUsed = aux->isEnabledTo(w<QGroupBox>("groupGeneral")) && aux->isChecked();
        return intUsed != auxUsed;
    }

    void clickGroupBox(QGroupBox *box)
    {
        QStyleOptionGroupBox option;
        option.initFrom(box);
        option.subControls = QStyle::SC_GroupBoxCheckBox;
        option.text = box->title();
        option.lineWidth = 1;
        const QRect r = box->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                     QStyle::SC_GroupBoxCheckBox, box);
        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, r.center());
    }

    std::unique_ptr<MainWindow> window;
    hidthread *link = nullptr;
    std::size_t from = 0;
};

std::size_t reportsRead()
{
    std::size_t n = 0;
    for (const simhid::Call &call : simhid::calls())
        n += call.function == "hid_read" && call.result > 0;
    return n;
}

Settings deviceA() // every value differs from the form's placeholders
{
    Settings s;
    s.sensitivityMin = 42;
    s.sensitivityMax = 201;
    s.inhibitMs = 2500;
    s.auxDelayMs = 150;
    s.auxSensor = false;
    s.pwmLed = 30;
    s.interNrShot = 25;
    s.interReleaseS = 30;
    s.interIntervalS = 120;
    s.interStartDelayS = 10;
    s.curSensitivity = 3;
    s.prefocus = true;
    return s;
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void connectionShowsTheDevice_data();
    void connectionShowsTheDevice();
    void outOfRangeValuesAreClampedAndEchoed();
    void userChangesReachTheDevice_data();
    void userChangesReachTheDevice();
    void decodesReports_data();
    void decodesReports();
    void intervalometerSeries_data();
    void intervalometerSeries();
    void lagMeasurement();
    void lagSums_data();
    void lagSums();
    void hostileReports();
};

void TestSession::cleanup()
{
    const std::vector<std::string> v = simhid::violations();
    QVERIFY2(v.empty(), v.empty() ? "" : v.front().c_str());
}

void TestSession::connectionShowsTheDevice_data()
{
    QTest::addColumn<Settings>("device");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<bool>("legacy");

    Settings aux = deviceA();
    aux.auxSensor = true;
    Settings crossing = deviceA(); // its minimum lies above the form's maximum of 127
    crossing.sensitivityMin = 180;
    crossing.sensitivityMax = 240;
    crossing.pwmLed = 100;
    crossing.prefocus = false;

    QTest::newRow("current 2.07") << deviceA() << 2 << 7 << false;
    QTest::newRow("current, auxiliary sensor") << aux << 2 << 7 << false;
    QTest::newRow("thresholds cross the form's") << crossing << 2 << 7 << false;
    QTest::newRow("legacy 2.05") << deviceA() << 2 << 5 << true;
    QTest::newRow("legacy 2.00") << crossing << 2 << 0 << true;
    QTest::newRow("boundary 2.06") << deviceA() << 2 << 6 << false;
    QTest::newRow("boundary 1.00") << aux << 1 << 0 << false;
    QTest::newRow("boundary 3.00") << deviceA() << 3 << 0 << false;
}

void TestSession::connectionShowsTheDevice()
{
    QFETCH(Settings, device);
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(bool, legacy);

    Session s(device, major, minor, 87, true);
    QVERIFY(s.settle());

    QCOMPARE(s.labels()[1]->text(), QString::asprintf("Firmware v%02d.%02d", major, minor));
    QCOMPARE(s.w<QSlider>("sliderSensitivityMin")->value(), device.sensitivityMin);
    QCOMPARE(s.w<QSpinBox>("spinSensitivityMin")->value(), device.sensitivityMin);
    QCOMPARE(s.w<QSlider>("sliderSensitivityMax")->value(), device.sensitivityMax);
    QCOMPARE(s.w<QSpinBox>("spinSensitivityMax")->value(), device.sensitivityMax);
    QCOMPARE(s.w<QSpinBox>("spinInhibitTime")->value(), device.inhibitMs);
    QCOMPARE(s.w<QSpinBox>("spinAuxDelay")->value(), device.auxDelayMs);
    const int ledLevel = QList<int>{0, 4, 15, 30, 52, 100}.indexOf(device.pwmLed);
    QCOMPARE(s.w<QSpinBox>("spinLedPwm")->value(), ledLevel);
    QCOMPARE(s.w<QSpinBox>("spinCurSensitivity")->value(), device.curSensitivity);
    QCOMPARE(s.w<QCheckBox>("checkPrefocus")->isChecked(), device.prefocus);
    QCOMPARE(s.w<QSpinBox>("spinNrShot")->value(), device.interNrShot);
    QCOMPARE(s.w<QSpinBox>("spinReleaseTime")->value(), device.interReleaseS);
    QCOMPARE(s.w<QSpinBox>("spinInterval")->value(), device.interIntervalS);
    QCOMPARE(s.w<QSpinBox>("spinStartDelay")->value(), device.interStartDelayS);
    QCOMPARE(s.w<QGroupBox>("grpAux")->isChecked(), device.auxSensor);

    // Old firmware: no auxiliary sensor, level, prefocus, battery or charge.
    QCOMPARE(s.w<QGroupBox>("grpAux")->isEnabledTo(s.window.get()), !legacy);
    QCOMPARE(s.w<QGroupBox>("grpInt")->isCheckable(), !legacy);
    QCOMPARE(s.w<QSpinBox>("spinCurSensitivity")->isEnabledTo(s.window.get()), !legacy);
    QCOMPARE(s.w<QCheckBox>("checkPrefocus")->isEnabledTo(s.window.get()), !legacy);
    QCOMPARE(s.labels()[2]->isHidden(), legacy);
    QCOMPARE(s.labels()[3]->isHidden(), legacy);
    QCOMPARE(s.labels()[2]->text(), QStringLiteral("Niv. batt.: 87"));
    QCOMPARE(s.labels()[3]->text(), QStringLiteral("En charge"));
    QVERIFY(s.oneSensorInUse());

    // The echo may have written, but the device ends as it started.
    QCOMPARE(Session::deviceSettings(), device);
}

void TestSession::outOfRangeValuesAreClampedAndEchoed()
{
    // Each differs from the form's placeholder once clamped, so the clamped value is echoed.
    Settings device = deviceA();
    device.inhibitMs = 100;        // below 200
    device.interStartDelayS = 150; // above 99
    device.curSensitivity = 7;     // above 4
    device.auxDelayMs = 5000;      // above 1000
    device.interNrShot = 12345;    // above 9999
    Session s(device);
    QVERIFY(s.settle());

    QCOMPARE(s.w<QSpinBox>("spinInhibitTime")->value(), 200);
    QCOMPARE(s.w<QSpinBox>("spinStartDelay")->value(), 99);
    QCOMPARE(s.w<QSpinBox>("spinCurSensitivity")->value(), 4);
    QCOMPARE(s.w<QSpinBox>("spinAuxDelay")->value(), 1000);
    QCOMPARE(s.w<QSpinBox>("spinNrShot")->value(), 9999);
    // What the window shows is what the device now holds.
    const Settings now = Session::deviceSettings();
    QCOMPARE(now.inhibitMs, 200);
    QCOMPARE(now.interStartDelayS, 99);
    QCOMPARE(now.curSensitivity, 4);
    QCOMPARE(now.auxDelayMs, 1000);
    QCOMPARE(now.interNrShot, 9999);
}

void TestSession::userChangesReachTheDevice_data()
{
    QTest::addColumn<QString>("setup");   // widget=value pairs applied before the mark
    QTest::addColumn<QString>("gesture"); // what the user does
    QTest::addColumn<Sent>("sent");

    auto p = [](int c, int v) { return qMakePair(c, v); };
    QTest::newRow("min pushes max up") << "sliderSensitivityMax=150"
                                       << "sliderSensitivityMin=200" << Sent{p(2, 201), p(1, 200)};
    QTest::newRow("max pulls min down") << "sliderSensitivityMin=50"
                                        << "sliderSensitivityMax=10" << Sent{p(1, 9), p(2, 10)};
    QTest::newRow("min to its top") << ""
                                    << "sliderSensitivityMin=254" << Sent{p(2, 255), p(1, 254)};
    QTest::newRow("max to its bottom") << ""
                                       << "sliderSensitivityMax=1" << Sent{p(1, 0), p(2, 1)};
    QTest::newRow("min below max") << "sliderSensitivityMin=100,sliderSensitivityMax=200"
                                   << "sliderSensitivityMin=120" << Sent{p(1, 120)};
    QTest::newRow("min typed") << "sliderSensitivityMax=150"
                               << "type:spinSensitivityMin=7" << Sent{p(1, 7)};
    QTest::newRow("max typed under min") << "sliderSensitivityMin=50"
                                         << "type:spinSensitivityMax=9" << Sent{p(1, 8), p(2, 9)};
    QTest::newRow("led 3") << "spinLedPwm=1"
                           << "spinLedPwm=3" << Sent{p(9, 30)};
    QTest::newRow("led 5") << "spinLedPwm=1"
                           << "spinLedPwm=5" << Sent{p(9, 100)};
    QTest::newRow("led 1") << "spinLedPwm=5"
                           << "spinLedPwm=1" << Sent{p(9, 4)};
    QTest::newRow("prefocus on") << "checkPrefocus=0"
                                 << "click:checkPrefocus" << Sent{p(17, 1)};
    QTest::newRow("prefocus off") << "checkPrefocus=1"
                                  << "click:checkPrefocus" << Sent{p(17, 0)};
    QTest::newRow("auxiliary sensor") << ""
                                      << "click:grpAux" << Sent{p(5, 1)};
    QTest::newRow("back to built-in") << "click:grpAux"
                                      << "click:grpInt" << Sent{p(5, 0)};
    QTest::newRow("level") << ""
                           << "spinCurSensitivity=4" << Sent{p(16, 4)};
    QTest::newRow("inhibit") << ""
                             << "spinInhibitTime=600000" << Sent{p(3, 600000)};
    QTest::newRow("aux delay") << "click:grpAux"
                               << "spinAuxDelay=1000" << Sent{p(4, 1000)};
    QTest::newRow("start delay") << ""
                                 << "spinStartDelay=1" << Sent{p(13, 1)};
    QTest::newRow("exposure") << ""
                              << "spinReleaseTime=3600" << Sent{p(11, 3600)};
    QTest::newRow("interval") << ""
                              << "spinInterval=2" << Sent{p(12, 2)};
    QTest::newRow("endless series") << ""
                                    << "spinNrShot=0" << Sent{p(10, 0)};
}

namespace {

void perform(Session &s, const QString &actions)
{
    for (const QString &action : actions.split(',', Qt::SkipEmptyParts)) {
        if (action.startsWith("click:")) {
            const QByteArray name = action.mid(6).toLatin1();
            if (auto *group = s.window->findChild<QGroupBox *>(name)) {
                s.clickGroupBox(group);
            } else {
                // The box has no text: the click must land on its indicator.
                QCheckBox *box = s.w<QCheckBox>(name);
                QStyleOptionButton option;
                option.initFrom(box);
                const QRect r =
                    box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
                QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, r.center());
            }
            continue;
        }
        const bool typed = action.startsWith("type:");
        const QStringList kv = action.mid(typed ? 5 : 0).split('=');
        const QByteArray name = kv[0].toLatin1();
        const int value = kv[1].toInt();
        if (auto *slider = s.window->findChild<QSlider *>(name))
            slider->setValue(value);
        else if (auto *box = s.window->findChild<QCheckBox *>(name))
            box->setChecked(value != 0);
        else if (typed) {
            QSpinBox *spin = s.w<QSpinBox>(name);
            spin->setFocus();
            spin->selectAll();
            QTest::keyClicks(spin, QString::number(value));
        } else
            s.w<QSpinBox>(name)->setValue(value);
    }
}

} // namespace

void TestSession::userChangesReachTheDevice()
{
    QFETCH(QString, setup);
    QFETCH(QString, gesture);
    QFETCH(Sent, sent);

    Session s(deviceA());
    s.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(s.window.get()));
    QVERIFY(s.settle());
    perform(s, setup);
    s.mark();
    perform(s, gesture);
    QCOMPARE(s.sentSinceMark(), sent);
    QVERIFY(s.oneSensorInUse());
    QVERIFY(s.w<QSlider>("sliderSensitivityMin")->value() <
            s.w<QSlider>("sliderSensitivityMax")->value());
}

// Single reports handed to the decoder, with what they show and what they write back.
void TestSession::decodesReports_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QByteArray>("report");
    QTest::addColumn<QString>("widget"); // name=expected text or value
    QTest::addColumn<Sent>("sent");

    auto p = [](int c, int v) { return qMakePair(c, v); };
    const auto hex = [](const char *s) { return QByteArray::fromHex(s); };
    QTest::newRow("charged") << ""
                             << hex("8000000000"
                                    "80")
                             << "@3=Chargé" << Sent{};
    QTest::newRow("charging") << ""
                              << hex("8000000001"
                                     "81")
                              << "@3=En charge" << Sent{};
    QTest::newRow("battery 75") << ""
                                << hex("900000004b"
                                       "db")
                                << "@2=Niv. batt.: 75" << Sent{};
    QTest::newRow("firmware 2.06") << ""
                                   << hex("8600020006"
                                          "8e")
                                   << "@1=Firmware v02.06" << Sent{};
    QTest::newRow("firmware long numbers") << ""
                                           << hex("86ff09ff09"
                                                  "9c")
                                           << "@1=Firmware v2559.2559" << Sent{};
    QTest::newRow("led 30 is level 3") << "spinLedPwm=1"
                                       << hex("870000001e"
                                              "a5")
                                       << "spinLedPwm=3" << Sent{p(9, 30)};
    QTest::newRow("led already 3") << "spinLedPwm=3"
                                   << hex("870000001e"
                                          "a5")
                                   << "spinLedPwm=3" << Sent{};
    QTest::newRow("led 31 unknown") << "spinLedPwm=2"
                                    << hex("870000001f"
                                           "a6")
                                    << "spinLedPwm=2" << Sent{};
    QTest::newRow("led 0 shows 1") << "spinLedPwm=4"
                                   << hex("8700000000"
                                          "87")
                                   << "spinLedPwm=1" << Sent{p(9, 4)};
    QTest::newRow("level -1 shows 0") << "spinCurSensitivity=2"
                                      << hex("8e000000ff"
                                             "8d")
                                      << "spinCurSensitivity=0" << Sent{p(16, 0)};
    QTest::newRow("prefocus on, silent") << "checkPrefocus=0"
                                         << hex("8f00000001"
                                                "90")
                                         << "checkPrefocus=1" << Sent{};
    QTest::newRow("prefocus 2 is off") << "checkPrefocus=1"
                                       << hex("8f00000002"
                                              "91")
                                       << "checkPrefocus=0" << Sent{};
    QTest::newRow("aux sensor writes twice") << ""
                                             << hex("8500000001"
                                                    "86")
                                             << "grpAux=1" << Sent{p(5, 1), p(5, 1)};
    QTest::newRow("built-in writes twice") << "click:grpAux"
                                           << hex("8500000000"
                                                  "85")
                                           << "grpInt=1" << Sent{p(5, 0), p(5, 0)};
    QTest::newRow("current firmware, aux in use") << "click:grpAux"
                                                  << hex("8600020007"
                                                         "8f")
                                                  << "grpInt=0" << Sent{};
    QTest::newRow("legacy firmware, aux in use") << "click:grpAux"
                                                 << hex("8600020005"
                                                        "8d")
                                                 << "grpInt=0" << Sent{};
    QTest::newRow("min over max") << "sliderSensitivityMax=150"
                                  << hex("81000000c8"
                                         "49")
                                  << "sliderSensitivityMax=201" << Sent{p(2, 201), p(1, 200)};
    QTest::newRow("inhibit 100 shows 200") << "spinInhibitTime=1000"
                                           << hex("8300000064"
                                                  "e7")
                                           << "spinInhibitTime=200" << Sent{p(3, 200)};
    QTest::newRow("inhibit u32") << ""
                                 << hex("83000927c0"
                                        "73")
                                 << "spinInhibitTime=600000" << Sent{p(3, 600000)};
    QTest::newRow("shots u16") << ""
                               << hex("8800002710"
                                      "c7")
                               << "spinNrShot=9999" << Sent{p(10, 9999)};
    QTest::newRow("unknown code") << ""
                                  << hex("9100000000"
                                         "91")
                                  << "" << Sent{};
    QTest::newRow("short array") << "" << hex("8100") << "" << Sent{};
}

void TestSession::decodesReports()
{
    QFETCH(QString, setup);
    QFETCH(QByteArray, report);
    QFETCH(QString, widget);
    QFETCH(Sent, sent);

    Session s(deviceA());
    s.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(s.window.get()));
    QVERIFY(s.settle());
    perform(s, setup);
    s.mark();
    s.window->inputData(report);
    QCOMPARE(s.sentSinceMark(), sent);

    if (widget.isEmpty())
        return;
    const QStringList kv = widget.split('=');
    const QByteArray name = kv[0].toLatin1();
    if (name.startsWith('@')) {
        QCOMPARE(s.labels()[name.mid(1).toInt()]->text(), kv[1]);
    } else if (auto *slider = s.window->findChild<QSlider *>(name)) {
        QCOMPARE(slider->value(), kv[1].toInt());
    } else if (auto *box = s.window->findChild<QCheckBox *>(name)) {
        QCOMPARE(box->isChecked(), kv[1] == "1");
    } else if (auto *group = s.window->findChild<QGroupBox *>(name)) {
        QCOMPARE(group->isChecked(), kv[1] == "1");
        QVERIFY(s.oneSensorInUse());
    } else {
        QCOMPARE(s.w<QSpinBox>(name)->value(), kv[1].toInt());
    }
}

void TestSession::intervalometerSeries_data()
{
    QTest::addColumn<int>("shots");
    QTest::addColumn<int>("stopAfter"); // texts seen before the user clicks stop; 0: never
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("three exposures")
        << 3 << 0 << QStringList{"Attente première pose",  "Pose 1/3 en cours", "Attente pose 2/3",
                                 "Pose 2/3 en cours",      "Attente pose 3/3",  "Pose 3/3 en cours",
                                 "Intervallomètre inactif"};
    QTest::newRow("endless, stopped")
        << 0 << 4
        << QStringList{"Attente première pose", "Pose 1 en cours", "Attente pose 2",
                       "Pose 2 en cours", "Intervallomètre inactif"};
    QTest::newRow("three, stopped in the second")
        << 3 << 4
        << QStringList{"Attente première pose", "Pose 1/3 en cours", "Attente pose 2/3",
                       "Pose 2/3 en cours", "Intervallomètre inactif"};
}

void TestSession::intervalometerSeries()
{
    QFETCH(int, shots);
    QFETCH(int, stopAfter);
    QFETCH(QStringList, texts);

    Settings device = deviceA();
    device.interNrShot = shots;
    device.interStartDelayS = 1;
    device.interReleaseS = 1;
    device.interIntervalS = 1;
    Session s(device);
    QVERIFY(s.settle());
    QWidget *const locked[] = {s.w<QSpinBox>("spinStartDelay"), s.w<QSpinBox>("spinReleaseTime"),
                               s.w<QSpinBox>("spinInterval"),   s.w<QSpinBox>("spinNrShot"),
                               s.w<QWidget>("tabGeneral"),      s.w<QWidget>("tabLag")};
    auto *button = s.w<QPushButton>("btnInterval");
    auto *state = s.w<QLabel>("labelInter");

    // Record every text the label takes, right after each report is decoded.
    QStringList seen;
    const std::size_t readBefore = reportsRead();
    std::size_t decoded = 0;
    QObject::connect(s.link, &hidthread::HID_vInputMessageSignal, s.window.get(), [&] {
        ++decoded;
        if (seen.isEmpty() || seen.last() != state->text())
            seen << state->text();
    });
    // The device's clock moves only once the window has everything it said so far, so a
    // click lands between two reports, as it would at human speed.
    const auto caughtUp = [&] {
        return Session::pendingReports() == 0 && readBefore + decoded == reportsRead();
    };

    s.mark();
    button->click();
    QCOMPARE(s.sentSinceMark(), (Sent{qMakePair(0x0E, 0)}));
    QCOMPARE(button->text(), QStringLiteral("Arrêter intervallomètre"));
    for (QWidget *w : locked)
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));

    bool stopped = false;
    QVERIFY(QTest::qWaitFor(
        [&] {
            if (stopAfter && !stopped && seen.size() == stopAfter && caughtUp()) {
                s.mark();
                button->click();
                stopped = true;
                // Stopping only asks; the window waits for the device to say so.
                if (s.sentSinceMark() != Sent{qMakePair(0x0F, 0)} ||
                    button->text() != QStringLiteral("Arrêter intervallomètre") ||
                    locked[0]->isEnabled())
                    return true; // fails below
            }
            if (caughtUp())
                simhid::advance(std::chrono::milliseconds(250));
            return seen.size() >= texts.size();
        },
        30000));
    QCOMPARE(seen, texts);
    QCOMPARE(button->text(), QStringLiteral("Démarrer intervallomètre"));
    for (QWidget *w : locked)
        QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
}

void TestSession::lagMeasurement()
{
    Session s(deviceA());
    QVERIFY(s.settle());
    s.mark();
    s.w<QPushButton>("btnLagMeas")->click();
    QCOMPARE(s.sentSinceMark(), (Sent{qMakePair(6, 0)}));
    const auto writes = simhid::writes();
    const std::array<std::uint8_t, 7> expected{0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x06};
    QCOMPARE(writes.back(), expected);
}

void TestSession::lagSums_data()
{
    QTest::addColumn<QList<int>>("bits");
    QTest::addColumn<int>("lag");
    QTest::newRow("none") << QList<int>{} << 0;
    QTest::newRow("all") << QList<int>{0, 1, 2, 3, 4, 5, 6, 7} << 255;
    QTest::newRow("0, 3 and 7") << QList<int>{0, 3, 7} << 137;
    QTest::newRow("leftmost of Sensibilité") << QList<int>{7} << 128;
    QTest::newRow("rightmost of Batterie") << QList<int>{0} << 1;
    QTest::newRow("leftmost of Batterie") << QList<int>{3} << 8;
    QTest::newRow("two leftmost of each") << QList<int>{7, 6, 3, 2} << 204;
}

void TestSession::lagSums()
{
    QFETCH(QList<int>, bits);
    QFETCH(int, lag);

    Session s(deviceA());
    QVERIFY(s.settle());
    auto *result = s.w<QSpinBox>("spinlag");
    s.mark();
    // Check the boxes, then clear one and check it again: the sum follows every click.
    for (int bit : bits)
        s.w<QCheckBox>(qPrintable(QStringLiteral("checklag%1").arg(bit)))->click();
    QCOMPARE(result->value(), lag);
    if (!bits.isEmpty()) {
        auto *box = s.w<QCheckBox>(qPrintable(QStringLiteral("checklag%1").arg(bits.first())));
        box->click();
        QCOMPARE(result->value(), lag - (1 << bits.first()));
        box->click();
        QCOMPARE(result->value(), lag);
    }
    QCOMPARE(s.sentSinceMark(), Sent{}); // for display only
}

// Any code with any payload, in any order: the window stays consistent and writes only
// command reports of its own tables.
void TestSession::hostileReports()
{
    Session s(deviceA());
    QVERIFY(s.settle());
    const std::size_t before = simhid::writes().size();
    const QSet<int> commands{1, 2, 3, 4, 5, 6, 9, 10, 11, 12, 13, 14, 15, 16, 17};

    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> byte(0, 255), code(0x7E, 0x92), length(0, 8);
    for (int i = 0; i < 3000; ++i) {
        QByteArray report(i % 10 == 9 ? length(random) : 6, '\0');
        for (char &c : report)
            c = char(byte(random));
        if (!report.isEmpty())
            report[0] = char(i % 3 ? code(random) : byte(random));
        s.window->inputData(report);

        const int min = s.w<QSlider>("sliderSensitivityMin")->value();
        const int max = s.w<QSlider>("sliderSensitivityMax")->value();
        QVERIFY2(min < max, qPrintable(report.toHex()));
        QCOMPARE(s.w<QSpinBox>("spinSensitivityMin")->value(), min);
        QCOMPARE(s.w<QSpinBox>("spinSensitivityMax")->value(), max);
        QVERIFY2(s.oneSensorInUse(), qPrintable(report.toHex()));
    }
    const auto writes = simhid::writes();
    for (std::size_t i = before; i < writes.size(); ++i) {
        const auto &w = writes[i];
        QCOMPARE(int(w[0]), 0);
        QVERIFY2(commands.contains(w[1]), qPrintable(QString::number(w[1])));
        QCOMPARE(std::uint8_t(w[1] + w[2] + w[3] + w[4] + w[5]), w[6]);
    }
}

ORV_TEST_MAIN(TestSession)
#include "tst_session.moc"
