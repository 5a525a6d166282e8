// The window and orvctl are two faces of one device: over the same simulated ORV they show the
// same value for each report, take the same values and send the same commands for them.
#include "orvctlrun.h"
#include "orvsession.h"
#include "settingtable.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace orvtest;
using Settings = OrvModel::Settings;
Q_DECLARE_METATYPE(Settings)

namespace {

// The window's value of a setting, as orvctl prints it in JSON.
QJsonValue windowValue(Session &s, const orv::Setting &setting)
{
    const QWidget *w = s.w<QWidget>(setting.widget);
    const bool checked = w->property("checked").toBool();
    if (setting.kind == orv::Kind::Choice)
        return setting.words[1] == QLatin1String("on") ? QJsonValue(checked)
                                                       : QLatin1String(setting.words[checked]);
    return w->property("value").toInt();
}

} // namespace

class TestAgree : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QVERIFY(simhid::violations().empty()); }

    // orvctl reads the device first: the window writes what it shows back.
    void sameValues_data()
    {
        QTest::addColumn<Settings>("device");
        QTest::addColumn<QStringList>("reported"); // settings the window cannot show as they are
        Settings plain, wide, odd;
        plain.auxSensor = true, plain.inhibitMs = 1550, plain.pwmLed = 100;
        wide.curSensitivity = 7, wide.inhibitMs = 100, wide.auxDelayMs = int(0xFFFF0064u);
        wide.interStartDelayS = 261, wide.interNrShot = 65535, wide.interReleaseS = 0;
        wide.interIntervalS = 4000, wide.pwmLed = 0;
        wide.sensitivityMin = 255, wide.sensitivityMax = 255; // the window moves no other
        odd.curSensitivity = -1, odd.inhibitMs = INT32_MIN, odd.pwmLed = 31;
        QTest::newRow("in range") << plain << QStringList();
        QTest::newRow("beyond both ends")
            << wide << QStringList{"aux-delay", "exposure",        "inhibit", "interval",   "led",
                                   "level",     "sensitivity-min", "shots",   "start-delay"};
        QTest::newRow("negative, 2^31, LED duty not in the table")
            << odd << QStringList{"inhibit", "led", "level"};
    }
    void sameValues()
    {
        QFETCH(Settings, device);
        QFETCH(QStringList, reported);
        simhid::reset();
        simhid::model().setSettings(device);
        const CtlRun ctl = runOrvctl({"status", "--json"});
        QCOMPARE(ctl.code, 0);
        const QJsonObject json = QJsonDocument::fromJson(ctl.out.toUtf8()).object();
        QStringList keys; // JSON names them with their unit
        for (const QString &name : reported)
            keys << QString::fromStdString(orv::jsonKey(*orv::findSetting(name.toStdString())));
        keys.sort();
        QCOMPARE(json["reported"].toObject().keys(), keys);
        const QString text = runOrvctl({"status"}).out;
        for (const QString &name : reported)
            QVERIFY2(
                QRegularExpression('\n' + name + ": .*\\(the ORV reported ").match(text).hasMatch(),
                qPrintable(text));
        Session s(device);
        QVERIFY(s.settle());
        for (const orv::Setting &setting : orv::kSettings) {
            const QJsonValue shown = json[QString::fromStdString(orv::jsonKey(setting))];
            // A duty not in the table: orvctl has no level, the window keeps what it showed.
            if (!shown.isNull())
                QVERIFY2(windowValue(s, setting) == shown, setting.name);
        }
    }

    // Every setting at and beyond its limits: what orvctl takes, the window takes, and both
    // send the same; what it refuses, nothing is sent for.
    void sameLimits_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("taken");
        for (const orv::Setting &s : orv::kSettings) {
            const auto row = [&s](const char *what, const QString &value, bool taken) {
                QTest::addRow("%s %s", s.name, what) << QString(s.name) << value << taken;
            };
            if (s.kind == orv::Kind::Choice) {
                row("0", s.words[0], true);
                row("1", s.words[1], true);
                row("as a number", "1", false);
                continue;
            }
            row("min", QString::number(s.min), true);
            row("max", QString::number(s.max), true);
            row("off the arrows' step", QString::number(s.min + 1), true);
            row("below", QString::number(s.min - 1), false);
            row("above", QString::number(s.max + 1), false);
        }
    }
    void sameLimits()
    {
        QFETCH(QString, name);
        QFETCH(QString, value);
        QFETCH(bool, taken);
        simhid::reset();
        const CtlRun ctl = runOrvctl({"set", name, value});
        QCOMPARE(ctl.code, taken ? 0 : 2);
        if (!taken) {
            QCOMPARE(ctl.commands, QStringList());
            return;
        }
        const orv::Setting &setting = *orv::findSetting(name.toStdString());
        const int v = setting.kind == orv::Kind::Choice ? value == setting.words[1] : value.toInt();
        Session s;
        s.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(s.window.get()) && s.settle());
        QWidget *w = s.w<QWidget>(setting.widget);
        if (setting.kind == orv::Kind::Choice) {
            w->setProperty("checked", !v); // from code: sends nothing
            s.mark();
            w->setFocus();
            QTest::keyClick(w, Qt::Key_Space);
        } else {
            if (w->property("value").toInt() == v) // a change, as the user would make it
                w->setProperty("value", v == setting.max ? setting.min : setting.max);
            s.mark();
            w->setProperty("value", v);
        }
        QStringList sent;
        for (const auto &[code, value] : s.sentSinceMark())
            sent << QStringLiteral("%1=%2").arg(code).arg(value);
        QCOMPARE(sent, ctl.commands);
    }
};

QTEST_MAIN(TestAgree)
#include "tst_agree.moc"
