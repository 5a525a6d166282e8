#include "mainwindow.h"

#include "statusreading.h"
#include "ui_mainwindow.h"

#include <QLabel>

// Widgets are moved through their ordinary setters: a value that changes is sent back to
// the device by its settings slot, exactly as if the user had set it.
void MainWindow::inputData(QByteArray qbaData)
{
    if (qbaData.size() < int(report::kStatusSize))
        return;
    const orv::Reading r =
        orv::read(reinterpret_cast<const std::uint8_t *>(qbaData.constData()), aiLedPwm);

    switch (r.code) {
    case StatusCharge:
        labelCharge->setText(*r.value ? tr("En charge") : tr("Chargé"));
        break;
    case StatusAuxSensor:
        setIntSensor(!*r.value);
        setAuxSensor(*r.value);
        break;
    case StatusPrefocus:
        ui->checkPrefocus->setChecked(*r.value);
        break;
    case StatusFirmware:
        showFirmware(r.version);
        break;
    case StatusInterState:
        showInterState(*r.value);
        break;
    case StatusInterShot:
        iShotCounter = *r.value;
        break;
    case StatusBattery:
        labelBattery->setText(QString::asprintf("Niv. batt.: %d", *r.value));
        break;
    default:
        // Every other setting sits in a slider or spin box, which the table names.
        if (QWidget *control = r.setting && r.value
                                   ? findChild<QWidget *>(QLatin1String(r.setting->widget))
                                   : nullptr)
            control->setProperty("value", *r.value);
        break;
    }
}

void MainWindow::showFirmware(report::Version version)
{
    const QByteArray text =
        QString::asprintf("Firmware v%02d.%02d", version.major, version.minor).toUtf8();
    labelFirmware->setText(tr(text.constData()));

    // Firmware 2.00 to 2.05 has no auxiliary sensor, level, prefocus or battery reporting.
    const bool legacy = version.major == 2 && version.minor <= 5;
    if (legacy) {
        ui->grpAux->setEnabled(false);
        ui->grpInt->setChecked(true);
        ui->grpInt->setCheckable(false);
        labelBattery->hide();
        labelCharge->hide();
        ui->spinCurSensitivity->setEnabled(false);
        ui->checkPrefocus->setEnabled(false);
    } else {
        ui->grpAux->setEnabled(true);
        // Becoming checkable also checks the box: with the auxiliary sensor in use both
        // groups would claim the sensor until the device's next sensor report.
        const bool auxInUse = ui->grpAux->isChecked();
        ui->grpInt->setCheckable(true);
        if (auxInUse)
            ui->grpInt->setChecked(false);
        labelBattery->show();
        labelCharge->show();
        ui->spinCurSensitivity->setEnabled(true);
        ui->checkPrefocus->setEnabled(true);
    }
}
