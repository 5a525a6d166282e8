#include "mainwindow.h"

#include "formstyle.h"
#include "hidthread.h"
#include "identity.h"
#include "ui_mainwindow.h"

#include <QGroupBox>
#include <QLabel>
#include <QTextBrowser>

namespace {

QLabel *makeStatusLabel(QWidget *parent, const QString &text)
{
    auto *label = new QLabel(parent);
    label->setText(text);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    // Without this the layout hands out width by text length and the four cells differ.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

} // namespace

MainWindow::MainWindow(QWidget *parent, int iLinkPeriodMs)
    : QMainWindow(parent), ui(new Ui_MainWindow)
{
    ui->setupUi(this);
    ui->statusBar->setSizeGripEnabled(false);

    labelConnection = makeStatusLabel(this, tr("ORV non détecté"));
    labelFirmware = makeStatusLabel(this, QString());
    labelBattery = makeStatusLabel(this, QString());
    labelCharge = makeStatusLabel(this, QString());
    ui->statusBar->addPermanentWidget(labelConnection, 1);
    ui->statusBar->addPermanentWidget(labelFirmware, 1);
    ui->statusBar->addPermanentWidget(labelBattery, 1);
    ui->statusBar->addPermanentWidget(labelCharge, 1);
    // The tab bar and the status bar grow with the font's line; hold them to the whole-pixel
    // line that Qt 5 measures, which Qt 6 undercuts by one pixel.
    const int line = formLineHeight(font());
    ui->tabWidget->setStyleSheet(ui->tabWidget->styleSheet() +
                                 QStringLiteral("\n::tab { min-height: %1px; }").arg(line));
    for (QLabel *label : {labelConnection, labelFirmware, labelBattery, labelCharge})
        label->setMinimumHeight(line);
    // The intervalometer's state is sized by a style sheet "font: 10pt", which under Qt 5
    // resets the narrowed width of the form font and under Qt 6 keeps it.
    QFont stateFont = ui->labelInter->font();
    stateFont.setStretch(QFont::Unstretched);
    ui->labelInter->setFont(stateFont);
    markFocus(this);
    // Qt names a group box's check box after the group around it: these go by their own titles.
    for (QGroupBox *sensor : {ui->grpInt, ui->grpAux})
        sensor->setAccessibleName(sensor->title());
    for (QTextBrowser *help : findChildren<QTextBrowser *>())
        fitHelpText(help);

    refreshConnection(false);

    pHidThread = new hidthread(this, iLinkPeriodMs);
    pHidThread->HID_vConfigure(orv::kVendorId, orv::kProductId, report::kInputReportLength);

    iShotCounter = 0;
    aiLedPwm = computeLedBrightnessTable();

    const auto spinChanged = qOverload<int>(&QSpinBox::valueChanged);
    connect(ui->sliderSensitivityMin, &QSlider::valueChanged, ui->spinSensitivityMin,
            &QSpinBox::setValue);
    connect(ui->sliderSensitivityMin, &QSlider::valueChanged, this,
            &MainWindow::refreshSensitivityMax);
    connect(ui->spinSensitivityMin, spinChanged, ui->sliderSensitivityMin, &QSlider::setValue);
    connect(ui->sliderSensitivityMax, &QSlider::valueChanged, ui->spinSensitivityMax,
            &QSpinBox::setValue);
    connect(ui->sliderSensitivityMax, &QSlider::valueChanged, this,
            &MainWindow::refreshSensitivityMin);
    connect(ui->spinSensitivityMax, spinChanged, ui->sliderSensitivityMax, &QSlider::setValue);
    connect(pHidThread, &hidthread::HID_vConnectedSignal, this, &MainWindow::refreshConnection);
    connect(pHidThread, &hidthread::HID_vInputMessageSignal, this, &MainWindow::inputData);
    connect(ui->spinLedPwm, spinChanged, this, &MainWindow::setPwmLed);
    connect(ui->spinCurSensitivity, spinChanged, this, &MainWindow::setCurSensitivity);
    connect(ui->checkPrefocus, &QCheckBox::clicked, this, &MainWindow::setPrefocus);
    connect(ui->spinStartDelay, spinChanged, this, &MainWindow::setInterDelay);
    connect(ui->spinReleaseTime, spinChanged, this, &MainWindow::setInterRelease);
    connect(ui->spinInterval, spinChanged, this, &MainWindow::setInterInterval);
    connect(ui->spinNrShot, spinChanged, this, &MainWindow::setInterNrShot);
    connect(ui->btnInterval, &QPushButton::clicked, this, &MainWindow::setInterStartStop);
    connect(ui->spinInhibitTime, spinChanged, this, &MainWindow::setInhibitTime);
    connect(ui->spinAuxDelay, spinChanged, this, &MainWindow::setAuxDelay);
    for (QCheckBox *box : {ui->checklag0, ui->checklag1, ui->checklag2, ui->checklag3,
                           ui->checklag4, ui->checklag5, ui->checklag6, ui->checklag7})
        connect(box, &QCheckBox::clicked, this, &MainWindow::setLag);
    connect(ui->btnLagMeas, &QPushButton::clicked, this, &MainWindow::startLag);
    connect(ui->grpInt, &QGroupBox::clicked, this, &MainWindow::setIntSensor);
    connect(ui->grpAux, &QGroupBox::clicked, this, &MainWindow::setAuxSensor);

    // Only now, so that a device present at start-up reports its connection to a listener.
    pHidThread->start();
}

MainWindow::~MainWindow()
{
    delete pHidThread;
    delete ui;
}
