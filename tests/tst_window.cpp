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
#include <QTabBar>
#include <QTabWidget>
#include <QTranslator>
#include <QtTest>

namespace {

// Marks every text of the window's translation context, so that a text set without
// translation, or under another context, shows up unmarked.
class MarkingTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (qstrcmp(context, "MainWindow") != 0)
            return QString();
        return QStringLiteral("«") + QString::fromUtf8(sourceText) + QStringLiteral("»");
    }
    bool isEmpty() const override { return false; }
};

template <typename T> T *child(QWidget &window, const char *name)
{
    T *w = window.findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no widget %s", name);
    return w;
}

QList<QLabel *> statusLabels(QMainWindow &window)
{
    QList<QLabel *> labels =
        window.statusBar()->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
    std::sort(labels.begin(), labels.end(), [](QLabel *a, QLabel *b) { return a->x() < b->x(); });
    return labels;
}

void sendWheel(QWidget *w, int steps)
{
    const QPoint pos = w->rect().center();
    QWheelEvent event(pos, w->mapToGlobal(pos), QPoint(), QPoint(0, 120 * steps), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &event);
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void frameIsFixed();
    void noTextIsCutOff_data();
    void noTextIsCutOff();
    void thresholdPairsMirror_data();
    void thresholdPairsMirror();
    void sensorGroupsEnableTheirFields_data();
    void sensorGroupsEnableTheirFields();
    void statusBarHasFourEqualCells();
    void everyTextIsTranslatable();
    void imagesAreShown();
};

void TestWindow::initTestCase()
{
    simhid::reset();
    simhid::unplug();
}

void TestWindow::frameIsFixed()
{
    MainWindow window;
    applyWindowFrame(window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QCOMPARE(window.windowTitle(), QStringLiteral("ORVcontrol v2.4"));
    QCOMPARE(window.size(), QSize(400, 370));
    window.resize(640, 480);
    QCOMPARE(window.size(), QSize(400, 370));
    QCOMPARE(window.minimumSize(), window.maximumSize());

    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(window.palette().color(group, QPalette::Window), QColor(210, 220, 230));
    QCOMPARE(child<QTabWidget>(window, "tabWidget")->currentIndex(), 0);
}

// How a user changes a threshold: on the slider (keys, wheel, drag) or in the spin box
// (typing, wheel). Either way both widgets must end on the value, each reporting it once.
void TestWindow::thresholdPairsMirror_data()
{
    QTest::addColumn<QString>("pair");
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<int>("expected");

    // Start values are the form's 0 (minimum) and 127 (maximum).
    QTest::newRow("min slider key") << "Min"
                                    << "sliderKey" << 1;
    QTest::newRow("min slider wheel") << "Min"
                                      << "sliderWheel" << 3;
    QTest::newRow("min slider drag") << "Min"
                                     << "sliderDrag" << 200;
    QTest::newRow("min spin typed") << "Min"
                                    << "spinType" << 9;
    QTest::newRow("min spin wheel") << "Min"
                                    << "spinWheel" << 3;
    QTest::newRow("max slider key") << "Max"
                                    << "sliderKey" << 128;
    QTest::newRow("max slider wheel") << "Max"
                                      << "sliderWheel" << 130;
    QTest::newRow("max slider drag") << "Max"
                                     << "sliderDrag" << 40;
    QTest::newRow("max spin typed") << "Max"
                                    << "spinType" << 9;
    QTest::newRow("max spin wheel") << "Max"
                                    << "spinWheel" << 130;
}

void TestWindow::thresholdPairsMirror()
{
    QFETCH(QString, pair);
    QFETCH(QString, gesture);
    QFETCH(int, expected);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    child<QGroupBox>(window, "groupGeneral")->setEnabled(true);
    auto *slider = child<QSlider>(window, qPrintable("sliderSensitivity" + pair));
    auto *spin = child<QSpinBox>(window, qPrintable("spinSensitivity" + pair));
    QSignalSpy sliderSpy(slider, &QSlider::valueChanged);
    QSignalSpy spinSpy(spin, qOverload<int>(&QSpinBox::valueChanged));

    if (gesture == "sliderKey") {
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_Right);
    } else if (gesture == "sliderWheel") {
        sendWheel(slider, 1); // one notch moves three single steps
    } else if (gesture == "sliderDrag") {
        slider->setSliderDown(true);
        slider->setSliderPosition(expected);
        slider->setSliderDown(false);
    } else if (gesture == "spinType") {
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin, QString::number(expected));
    } else if (gesture == "spinWheel") {
        spin->setFocus();
        sendWheel(spin, 3);
    }

    QCOMPARE(slider->value(), expected);
    QCOMPARE(spin->value(), expected);
    QCOMPARE(sliderSpy.count(), 1);
    QCOMPARE(spinSpy.count(), 1);
    QCOMPARE(sliderSpy.first().first().toInt(), expected);
}

// The form places widgets by fixed rectangles; with the machine's fonts every text and every
// value at its longest must still show whole.
void TestWindow::noTextIsCutOff_data()
{
    QTest::addColumn<int>("tab");
    QTest::newRow("general") << 0;
    QTest::newRow("intervalometer") << 1;
    QTest::newRow("lag") << 2;
}

void TestWindow::noTextIsCutOff()
{
    QFETCH(int, tab);

    MainWindow window;
    auto *tabs = child<QTabWidget>(window, "tabWidget");
    tabs->setCurrentIndex(tab);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QVERIFY(tabs->tabBar()->width() >= tabs->tabBar()->sizeHint().width()); // no scroll buttons
    QWidget *page = tabs->currentWidget();
    for (QWidget *w : page->findChildren<QWidget *>()) {
        const QString what = w->objectName();
        if (qobject_cast<QLabel *>(w) || qobject_cast<QAbstractSpinBox *>(w)) {
            // A spin box's size hint is measured on its widest value with its suffix.
            QVERIFY2(w->width() >= w->sizeHint().width(),
                     qPrintable(QStringLiteral("%1: %2 < %3")
                                    .arg(what)
                                    .arg(w->width())
                                    .arg(w->sizeHint().width())));
        } else if (auto *box = qobject_cast<QGroupBox *>(w)) {
            const int title = box->fontMetrics().horizontalAdvance(box->title());
            QVERIFY2(title + 20 <= box->width(), qPrintable(what));
        } else if (auto *button = qobject_cast<QPushButton *>(w)) {
            QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(what));
        }
    }

    // The status bar's cells at the longest texts they are given.
    for (QLabel *label : statusLabels(window)) {
        for (const QString &text :
             {QStringLiteral("ORV non détecté"), QStringLiteral("Firmware v99.99"),
              QStringLiteral("Niv. batt.: 255"), QStringLiteral("En charge")}) {
            QVERIFY2(label->fontMetrics().horizontalAdvance(text) <= label->contentsRect().width(),
                     qPrintable(text));
        }
    }
}

void TestWindow::sensorGroupsEnableTheirFields_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QStringList>("fields");

    const QStringList aux{"label_8", "spinAuxDelay"};
    const QStringList integrated{"sliderSensitivityMin", "spinSensitivityMin",
                                 "sliderSensitivityMax", "spinSensitivityMax",
                                 "spinCurSensitivity",   "checkPrefocus"};
    QTest::newRow("aux checked") << "grpAux" << true << aux;
    QTest::newRow("aux unchecked") << "grpAux" << false << aux;
    QTest::newRow("built-in checked") << "grpInt" << true << integrated;
    QTest::newRow("built-in unchecked") << "grpInt" << false << integrated;
}

void TestWindow::sensorGroupsEnableTheirFields()
{
    QFETCH(QString, group);
    QFETCH(bool, checked);
    QFETCH(QStringList, fields);

    MainWindow window;
    child<QGroupBox>(window, "groupGeneral")->setEnabled(true);
    auto *box = child<QGroupBox>(window, qPrintable(group));
    box->setChecked(!checked);
    box->setChecked(checked);
    for (const QString &name : fields)
        QVERIFY2(child<QWidget>(window, qPrintable(name))->isEnabled() == checked,
                 qPrintable(name));
}

void TestWindow::statusBarHasFourEqualCells()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QStatusBar *bar = window.statusBar();
    QVERIFY(!bar->isSizeGripEnabled());
    const QList<QLabel *> labels = statusLabels(window);
    QCOMPARE(labels.size(), 4);
    QCOMPARE(labels[0]->text(), QStringLiteral("ORV non détecté"));
    int covered = 0;
    for (QLabel *label : labels) {
        QVERIFY(label->isVisible());
        QVERIFY2(qAbs(label->width() - labels[0]->width()) <= 1,
                 qPrintable(QStringLiteral("cell widths %1 and %2")
                                .arg(label->width())
                                .arg(labels[0]->width())));
        QCOMPARE(label->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
        covered += label->width();
    }
    for (int i = 1; i < 4; ++i)
        QVERIFY(labels[i]->text().isEmpty());
    // The four cells fill the bar: nothing else (no grip, no message) takes room.
    QVERIFY2(covered > bar->width() * 9 / 10, qPrintable(QString::number(covered)));
}

void TestWindow::everyTextIsTranslatable()
{
    MarkingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    MainWindow window;
    QCoreApplication::removeTranslator(&translator);

    const auto marked = [](const QString &s) {
        return s.startsWith(QStringLiteral("«")) && s.endsWith(QStringLiteral("»"));
    };
    QVERIFY(marked(window.windowTitle()));
    QVERIFY(marked(statusLabels(window).first()->text()));
    auto *tabs = child<QTabWidget>(window, "tabWidget");
    for (int i = 0; i < tabs->count(); ++i)
        QVERIFY(marked(tabs->tabText(i)));
    for (QLabel *label : window.findChildren<QLabel *>()) {
        if (!label->text().isEmpty())
            QVERIFY2(marked(label->text()), qPrintable(label->text()));
        if (!label->toolTip().isEmpty())
            QVERIFY2(marked(label->toolTip()), qPrintable(label->toolTip()));
    }
    for (QSpinBox *spin : window.findChildren<QSpinBox *>()) {
        if (!spin->suffix().isEmpty())
            QVERIFY2(marked(spin->suffix()), qPrintable(spin->objectName()));
        if (!spin->toolTip().isEmpty())
            QVERIFY2(marked(spin->toolTip()), qPrintable(spin->objectName()));
    }
    for (QGroupBox *box : window.findChildren<QGroupBox *>())
        QVERIFY2(marked(box->title()), qPrintable(box->objectName()));
    for (QPushButton *button : window.findChildren<QPushButton *>())
        QVERIFY2(marked(button->text()), qPrintable(button->objectName()));
}

void TestWindow::imagesAreShown()
{
    MainWindow window;
    QVERIFY(!window.windowIcon().isNull());
    for (const char *name : {"label_10", "label_11"}) {
        QVERIFY2(!child<QLabel>(window, name)->pixmap(Qt::ReturnByValue).isNull(), name);
    }
    for (const char *name : {"btnInterval", "btnLagMeas"})
        QVERIFY2(!child<QPushButton>(window, name)->icon().isNull(), name);
}

ORV_TEST_MAIN(TestWindow)
#include "tst_window.moc"
