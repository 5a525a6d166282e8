// The window as a user meets it: its frame and form at the machine's fonts, and the whole road
// over the simulated ORV, from the connection to every setting, the intervalometer and the lag.
#include "formstyle.h"
#include "orvsession.h"
#include "settingtable.h"
#include "startup.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBrowser>
#include <QtTest>

#include <algorithm>

using namespace orvtest;
using Settings = OrvModel::Settings;
Q_DECLARE_METATYPE(Settings)

namespace {

const auto p = [](int code, int value) { return qMakePair(code, value); };

Settings deviceA() // every value differs from the form's placeholders; the times need 16 bits
{
    Settings s;
    s.sensitivityMin = 42, s.sensitivityMax = 201, s.inhibitMs = 2500, s.auxDelayMs = 150;
    s.pwmLed = 30, s.interNrShot = 25, s.interReleaseS = 300, s.interIntervalS = 1200;
    s.interStartDelayS = 10, s.curSensitivity = 3, s.prefocus = true;
    return s;
}

// "name=value" sets a widget, "type:name=value" types into a spin box, "click:name" clicks a
// button, or a group box's check box where a user would.
void perform(Session &s, const QString &actions)
{
    for (const QString &action : actions.split(',', Qt::SkipEmptyParts)) {
        const bool typed = action.startsWith("type:"), click = action.startsWith("click:");
        const QStringList kv = action.section(':', -1).split('=');
        QWidget *target = s.w<QWidget>(qPrintable(kv[0]));
        if (auto *group = qobject_cast<QGroupBox *>(target); click && group) {
            QStyleOptionGroupBox o;
            o.initFrom(group);
            o.subControls = QStyle::SC_GroupBoxCheckBox;
            o.text = group->title();
            QTest::mouseClick(
                group, Qt::LeftButton, Qt::NoModifier,
                group->style()
                    ->subControlRect(QStyle::CC_GroupBox, &o, QStyle::SC_GroupBoxCheckBox, group)
                    .center());
        } else if (click) {
            static_cast<QAbstractButton *>(target)->click();
        } else if (auto *slider = qobject_cast<QSlider *>(target)) {
            slider->setValue(kv[1].toInt());
        } else if (auto *box = qobject_cast<QCheckBox *>(target)) {
            box->setChecked(kv[1] == "1");
        } else if (typed) {
            target->setFocus();
            static_cast<QSpinBox *>(target)->selectAll();
            QTest::keyClicks(target, kv[1]);
        } else {
            static_cast<QSpinBox *>(target)->setValue(kv[1].toInt());
        }
    }
}

// A status-bar cell (@0..@3), or a widget's value, checked state or else text, as text.
QString shown(Session &s, const QByteArray &name)
{
    if (name.startsWith('@'))
        return s.labels()[name.mid(1).toInt()]->text();
    const QWidget *w = s.w<QWidget>(name.constData());
    for (const char *property : {"value", "checked"})
        if (w->property(property).isValid())
            return QString::number(w->property(property).toInt());
    return w->property("text").toString();
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        const auto v = simhid::violations();
        QVERIFY2(v.empty(), v.empty() ? "" : v.front().c_str());
    }

    // The fixed frame, and widgets in fixed rectangles: at the machine's fonts every text and
    // every value at its longest must still show whole. Also run at twice the pixel density.
    void form()
    {
        const auto fits = [](QWidget *w, const QString &text, int margins = 0) {
            return w->fontMetrics().horizontalAdvance(text) <= w->contentsRect().width() + margins;
        };
        Session s({}, 2, 7, false);
        MainWindow &window = *s.window;
        auto *tabs = s.w<QTabWidget>("tabWidget");
        applyWindowFrame(window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.resize(640, 480);
        QCOMPARE(window.size(), QSize(400, 370));
        QVERIFY(!window.windowIcon().isNull());
        QVERIFY(!s.w<QLabel>("label_10")->pixmap(Qt::ReturnByValue).isNull());
        QVERIFY(!s.w<QPushButton>("btnLagMeas")->icon().isNull());
        // Four equal cells fill the status bar: no grip, no message takes room.
        int covered = 0;
        for (QLabel *cell : s.labels()) {
            QVERIFY(qAbs(cell->width() - s.labels()[0]->width()) <= 1);
            covered += cell->width();
        }
        QVERIFY(covered > window.statusBar()->width() * 9 / 10);
        QVERIFY(tabs->tabBar()->width() >= tabs->tabBar()->sizeHint().width()); // no scrolling
        for (int tab = 0; tab < 3; ++tab) {
            tabs->setCurrentIndex(tab);
            // Tab, from the tab bar, visits every control of the page in reading order (top to
            // bottom, then left to right), and a screen reader names each, none alike in a role.
            QWidget *page = tabs->currentWidget();
            const auto takesTab = [&](QWidget *w) {
                return page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) &&
                       w->isVisibleTo(page) && !w->focusProxy();
            };
            QHash<int, QStringList> names;
            QPoint last(-1, -1);
            int visited = 0;
            for (QWidget *w = tabs->tabBar(); (w = w->nextInFocusChain()) != tabs->tabBar();) {
                if (!takesTab(w))
                    continue;
                QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
                const QString name = a->text(QAccessible::Name), id = w->objectName() + ": " + name;
                QVERIFY2(!name.trimmed().isEmpty() && !names[a->role()].contains(name),
                         qPrintable(id));
                names[a->role()] << name;
                ++visited;
                const QPoint at = w->mapTo(&window, QPoint());
                QVERIFY2(at.y() > last.y() + 8 ||
                             (qAbs(at.y() - last.y()) <= 8 && at.x() > last.x()),
                         qPrintable(id));
                last = at;
            }
            const auto all = page->findChildren<QWidget *>();
            QCOMPARE(visited, int(std::count_if(all.begin(), all.end(), takesTab)));
            for (QWidget *w : all) {
                if (auto *box = qobject_cast<QGroupBox *>(w))
                    QVERIFY2(box->fontMetrics().horizontalAdvance(box->title()) + 20 <=
                                 box->width(),
                             qPrintable(box->objectName()));
                else if (qobject_cast<QLabel *>(w) || qobject_cast<QAbstractSpinBox *>(w) ||
                         qobject_cast<QPushButton *>(w))
                    QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(w->objectName()));
                if (auto *help = qobject_cast<QTextBrowser *>(w))
                    QVERIFY2(help->document()->size().height() <= help->viewport()->height() &&
                                 !help->verticalScrollBar()->isVisible(),
                             qPrintable(help->objectName()));
                // The lowest and highest value, whole in the text field (2-pixel margins).
                if (auto *spin = qobject_cast<QSpinBox *>(w)) {
                    const QSignalBlocker quiet(spin);
                    for (int value : {spin->minimum(), spin->maximum()}) {
                        spin->setValue(value);
                        QVERIFY2(fits(spin->findChild<QLineEdit *>(), spin->text(), -4),
                                 qPrintable(spin->objectName()));
                    }
                }
            }
        }
        for (QLabel *cell : s.labels())
            for (QString text : {"ORV non détecté", "Firmware v99.99", "Niv. batt.: 255"})
                QVERIFY2(fits(cell, text), qPrintable(text));
        for (QString text : {"Attente pose 9999/9999", "Pose 9999/9999 en cours"})
            QVERIFY2(fits(s.w<QLabel>("labelInter"), text), qPrintable(text));
    }

    // The settings table holds the form's ranges and steps: orvctl takes what the window takes.
    void settingsTable()
    {
        Session s({}, 2, 7, false);
        for (const orv::Setting &setting : orv::kSettings) {
            const QWidget *w = s.w<QWidget>(setting.widget);
            QList<int> range{0, 1, 1};
            if (auto *spin = qobject_cast<const QSpinBox *>(w))
                range = {spin->minimum(), spin->maximum(), spin->singleStep()};
            else if (auto *slider = qobject_cast<const QSlider *>(w))
                range = {slider->minimum(), slider->maximum(), slider->singleStep()};
            else
                QVERIFY2(w->property("checkable").toBool(), setting.name);
            QVERIFY2(range == (QList<int>{setting.min, setting.max, setting.step}), setting.name);
        }
    }

    void connectionDisplay()
    {
        const auto look = [](Session &s) {
            QStringList l{s.window->statusBar()->styleSheet()};
            for (QLabel *cell : s.labels())
                l << cell->text() << cell->styleSheet();
            for (const char *name : {"groupGeneral", "groupBox_4", "groupInterval", "groupLag"})
                l << QString::number(s.w<QGroupBox>(name)->isEnabled());
            return l.join('|');
        };
        const auto expected = [](bool up, const QStringList &cells) {
            const QString colour = up ? "rgb(30,200,40)" : "rgb(200,20,20)";
            QStringList l{QStringLiteral(" QStatusBar {background: %1;}").arg(colour)};
            for (const QString &cell : QStringList{up ? "ORV connecté" : "ORV non détecté"} + cells)
                l << cell << QStringLiteral(" QLabel {background: %1;}").arg(colour);
            for (int group = 0; group < 4; ++group)
                l << QString::number(up);
            return l.join('|');
        };
        Session s(deviceA(), 2, 7, false);
        QString atSignal;
        std::size_t writesAtConnection = 0;
        QObject::connect(s.link, &hidthread::HID_vConnectedSignal, s.window.get(), [&] {
            atSignal = look(s);
            writesAtConnection = simhid::writes().size();
        });
        QVERIFY(waitFor([] { return simhid::callCount("hid_enumerate") >= 5; }));
        QCOMPARE(look(s), expected(false, {"", "", ""}));
        QCOMPARE(simhid::writes().size(), std::size_t(0));

        simhid::plug();
        QVERIFY(s.settle());
        QCOMPARE(atSignal, expected(true, {"", "", ""})); // before any answer
        // All at once, before any answer: firmware first, as its answer decides what the rest
        // apply to, then every report the device answers, once and with no value, but the
        // series' state and shot, which it sends by itself.
        QList<int> asked, needed;
        for (const auto &[code, value] : s.received().mid(0, int(writesAtConnection)))
            asked << (value == 0 ? code : -code);
        QCOMPARE(asked.value(0), 0x86);
        for (int code = OrvModel::kFirstStatus; code <= OrvModel::kLastStatus; ++code)
            if (code != 0x8C && code != 0x8D)
                needed << code;
        std::sort(asked.begin(), asked.end());
        QCOMPARE(asked, needed);
        QCOMPARE(look(s), expected(true, {"Firmware v02.07", "Niv. batt.: 87", "En charge"}));

        simhid::unplug();
        QVERIFY(waitFor([&] { return !s.w<QWidget>("groupLag")->isEnabled(); }));
        QCOMPARE(look(s), expected(false, {"", "", ""}));
        QCOMPARE(s.w<QSpinBox>("spinNrShot")->value(), 25); // the last values stay in view
        const std::size_t gone = simhid::writes().size();
        QVERIFY(waitFor([] { return simhid::callCount("hid_enumerate") >= 10; }));
        QCOMPARE(simhid::writes().size(), gone); // nothing asked of a device that is gone
    }

    void showsTheDevice_data()
    {
        QTest::addColumn<Settings>("device");
        QTest::addColumn<int>("version"); // major * 100 + minor
        Settings aux = deviceA(), crossing = deviceA();
        aux.auxSensor = true;
        // Its minimum lies above the form's maximum of 127.
        crossing.sensitivityMin = 180, crossing.sensitivityMax = 240, crossing.pwmLed = 100;
        crossing.prefocus = false;
        QTest::newRow("current 2.07") << deviceA() << 207;
        QTest::newRow("auxiliary sensor 2.06") << aux << 206;
        QTest::newRow("thresholds cross the form's, 3.00") << crossing << 300;
        QTest::newRow("legacy 2.05") << deviceA() << 205;
        QTest::newRow("legacy 2.00") << crossing << 200;
    }
    void showsTheDevice()
    {
        QFETCH(Settings, device);
        QFETCH(int, version);
        const int major = version / 100, minor = version % 100;
        const bool legacy = major == 2 && minor <= 5;
        Session s(device, major, minor);
        QVERIFY(s.settle());
        QCOMPARE(shown(s, "@1"), QString::asprintf("Firmware v%02d.%02d", major, minor));
        const QList<QPair<const char *, int>> fields{
            {"spinSensitivityMin", device.sensitivityMin},
            {"sliderSensitivityMax", device.sensitivityMax},
            {"spinInhibitTime", device.inhibitMs},
            {"spinAuxDelay", device.auxDelayMs},
            {"spinLedPwm", QList<int>{0, 4, 15, 30, 52, 100}.indexOf(device.pwmLed)},
            {"spinCurSensitivity", device.curSensitivity},
            {"checkPrefocus", device.prefocus},
            {"spinNrShot", device.interNrShot},
            {"spinReleaseTime", device.interReleaseS},
            {"spinInterval", device.interIntervalS},
            {"spinStartDelay", device.interStartDelayS},
            {"grpAux", device.auxSensor}};
        for (const auto &[name, value] : fields)
            QCOMPARE(shown(s, name), QString::number(value));
        // Old firmware has no auxiliary sensor, level, prefocus, battery or charge.
        QCOMPARE(s.w<QGroupBox>("grpAux")->isEnabledTo(s.window.get()), !legacy);
        QCOMPARE(s.w<QGroupBox>("grpInt")->isCheckable(), !legacy);
        QCOMPARE(s.w<QSpinBox>("spinCurSensitivity")->isEnabledTo(s.window.get()), !legacy);
        QCOMPARE(s.w<QCheckBox>("checkPrefocus")->isEnabledTo(s.window.get()), !legacy);
        QCOMPARE(s.labels()[2]->isHidden() && s.labels()[3]->isHidden(), legacy);
        QCOMPARE(s.brokenInvariant(), QString());
        Settings now; // the echo may have written, but the device ends as it started
        simhid::withModel([&](OrvModel &m) { now = m.settings(); });
        QCOMPARE(now, device);
    }

    // A user's gesture, or reports handed to the decoder ("report:" and their bytes, by commas):
    // what it shows, and what reaches the device.
    void road_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("expected"); // name=shown, or nothing
        QTest::addColumn<Sent>("sent");
        const auto row = [](const char *name, QString setup, QString action, QString shows,
                            Sent sent) { QTest::newRow(name) << setup << action << shows << sent; };
        row("min pushes max", "sliderSensitivityMax=150", "sliderSensitivityMin=200",
            "sliderSensitivityMax=201", {p(2, 201), p(1, 200)});
        row("max pulls min", "sliderSensitivityMin=50", "sliderSensitivityMax=10",
            "spinSensitivityMin=9", {p(1, 9), p(2, 10)});
        row("min onto max", "sliderSensitivityMax=150", "sliderSensitivityMin=150",
            "sliderSensitivityMax=151", {p(2, 151), p(1, 150)});
        row("min to its top", "", "sliderSensitivityMin=254", "", {p(2, 255), p(1, 254)});
        row("min below max", "sliderSensitivityMax=200", "sliderSensitivityMin=120", "",
            {p(1, 120)});
        row("max typed under min", "sliderSensitivityMin=50", "type:spinSensitivityMax=9",
            "sliderSensitivityMax=9", {p(1, 8), p(2, 9)});
        row("led 5", "spinLedPwm=1", "spinLedPwm=5", "", {p(9, 100)});
        row("prefocus on", "checkPrefocus=0", "click:checkPrefocus", "", {p(17, 1)});
        row("prefocus off", "checkPrefocus=1", "click:checkPrefocus", "", {p(17, 0)});
        row("auxiliary sensor", "", "click:grpAux", "grpInt=0", {p(5, 1)});
        row("back to built-in", "click:grpAux", "click:grpInt", "grpAux=0", {p(5, 0)});
        row("exposure", "", "spinReleaseTime=3600", "", {p(11, 3600)});
        row("interval", "", "spinInterval=2", "", {p(12, 2)});
        row("endless series", "", "spinNrShot=0", "", {p(10, 0)});
        row("charged", "", "report:800000000080", "@3=Chargé", {});
        row("charging", "", "report:800000008000", "@3=En charge", {});
        row("battery 255", "", "report:90000000ff8f", "@2=Niv. batt.: 255", {});
        row("firmware long numbers", "", "report:86ff09ff099c", "@1=Firmware v2559.2559", {});
        row("led 30 is level 3", "spinLedPwm=1", "report:870000001ea5", "spinLedPwm=3", {p(9, 30)});
        row("led 31 unknown", "spinLedPwm=2", "report:870000001fa6", "spinLedPwm=2", {});
        row("led 0 shows 1", "spinLedPwm=4", "report:870000000087", "spinLedPwm=1", {p(9, 4)});
        row("level -1 shows 0", "", "report:8e000000ff8d", "spinCurSensitivity=0", {p(16, 0)});
        row("level 7 shows 4", "", "report:8e0000000795", "spinCurSensitivity=4", {p(16, 4)});
        row("prefocus on, silent", "checkPrefocus=0", "report:8f0000000190", "checkPrefocus=1", {});
        row("prefocus 2 is off", "", "report:8f0000000291", "checkPrefocus=0", {});
        row("aux sensor writes twice", "", "report:850000008005", "grpAux=1", {p(5, 1), p(5, 1)});
        row("built-in writes twice", "click:grpAux", "report:850000000085", "grpInt=1",
            {p(5, 0), p(5, 0)});
        row("current firmware, aux in use", "click:grpAux", "report:86000200078f", "grpInt=0", {});
        row("legacy firmware, aux in use", "click:grpAux", "report:86000200058d", "grpInt=0", {});
        row("min over max", "sliderSensitivityMax=150", "report:81000000c849",
            "sliderSensitivityMax=201", {p(2, 201), p(1, 200)});
        row("max under min", "", "report:820000000183", "sliderSensitivityMin=0",
            {p(1, 0), p(2, 1)});
        row("inhibit 100 shows 200", "", "report:8300000064e7", "spinInhibitTime=200", {p(3, 200)});
        row("inhibit u32", "", "report:83000927c073", "spinInhibitTime=600000", {p(3, 600000)});
        row("inhibit 2^31 shows its top", "", "report:838000000003", "spinInhibitTime=600000",
            {p(3, 600000)});
        row("aux delay ffff0064 shows its top", "", "report:84ffff0064e6", "spinAuxDelay=1000",
            {p(4, 1000)});
        row("start delay 261 shows 99", "", "report:8b0000010591", "spinStartDelay=99",
            {p(13, 99)});
        row("shots u16", "", "report:8800002710c7", "spinNrShot=9999", {p(10, 9999)});
        row("shot -2", "", "report:8dfffffffe88,8c000000038f", "labelInter=Pose -2/25 en cours",
            {});
        row("after shot 2^31 - 1", "", "report:8d7fffffff09,8c0000000490",
            "labelInter=Attente pose 2147483648/25", {});
        // LED 0 is the rightmost of "Batterie", LED 7 the leftmost of "Sensibilité"; the sum
        // is for display only.
        row("lag bits", "",
            "click:checklag0,click:checklag3,click:checklag7,click:checklag6,"
            "click:checklag3",
            "spinlag=193", {});
        row("lag measurement", "", "click:btnLagMeas", "", {p(6, 0)});
        row("unknown code", "", "report:910000000091", "", {});
        row("short array", "", "report:8100", "", {});
    }
    void road()
    {
        QFETCH(QString, setup);
        QFETCH(QString, action);
        QFETCH(QString, expected);
        QFETCH(Sent, sent);
        Session s(deviceA());
        s.window->show(); // where a user clicks
        QVERIFY(QTest::qWaitForWindowExposed(s.window.get()) && s.settle());
        perform(s, setup);
        s.mark();
        const std::size_t before = simhid::writes().size();
        if (action.startsWith("report:"))
            for (const QString &hex : action.mid(7).split(','))
                s.window->inputData(QByteArray::fromHex(hex.toLatin1()));
        else
            perform(s, action);
        QCOMPARE(s.sentSinceMark(), sent);
        QCOMPARE(s.badWrite(before), QString());
        if (!expected.isEmpty())
            QCOMPARE(shown(s, expected.section('=', 0, 0).toUtf8()), expected.section('=', 1));
        QCOMPARE(s.brokenInvariant(), QString());
    }

    void intervalometerSeries()
    {
        // Three exposures, stopped by the user during the second.
        const QStringList texts{"Attente première pose", "Pose 1/3 en cours", "Attente pose 2/3",
                                "Pose 2/3 en cours", "Intervallomètre inactif"};
        int stopAfter = 4;
        Settings device = deviceA();
        device.interNrShot = 3;
        device.interStartDelayS = device.interReleaseS = device.interIntervalS = 1;
        Session s(device);
        QVERIFY(s.settle());
        const auto locked = [&] {
            QString out;
            for (const char *name : {"spinStartDelay", "spinReleaseTime", "spinInterval",
                                     "spinNrShot", "tabGeneral", "tabLag"})
                out += s.w<QWidget>(name)->isEnabled() ? '0' : '1';
            return out + s.w<QPushButton>("btnInterval")->text();
        };
        auto *state = s.w<QLabel>("labelInter");
        QStringList seen;
        QObject::connect(s.link, &hidthread::HID_vInputMessageSignal, s.window.get(), [&] {
            if (seen.isEmpty() || seen.last() != state->text())
                seen << state->text();
        });
        s.mark();
        s.w<QPushButton>("btnInterval")->click();
        QCOMPARE(s.sentSinceMark(), Sent{p(0x0E, 0)});
        QCOMPARE(locked(), QStringLiteral("111111Arrêter intervallomètre"));
        // The device's clock moves only once the window has all it said, as at human speed.
        for (int step = 0; seen.size() < texts.size() && step < 200; ++step) {
            QVERIFY(s.settle());
            if (stopAfter && seen.size() == stopAfter) {
                s.mark();
                s.w<QPushButton>("btnInterval")->click();
                stopAfter = 0;
                // Stopping only asks: the window waits for the device to say so.
                QCOMPARE(s.sentSinceMark(), Sent{p(0x0F, 0)});
                QCOMPARE(locked(), QStringLiteral("111111Arrêter intervallomètre"));
            }
            simhid::advance(std::chrono::milliseconds(250));
        }
        QCOMPARE(seen, texts);
        QCOMPARE(locked(), QStringLiteral("000000Démarrer intervallomètre"));
    }
};

int main(int argc, char *argv[])
{
    prepareApplication(argc, argv);
    QApplication app(argc, argv);
    applyFormFont();
    TestWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_window.moc"
