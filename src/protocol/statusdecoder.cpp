#include "mainwindow.h"

#include "report.h"
#include "ui_mainwindow.h"

#include <QLabel>

// Widgets are moved through their ordinary setters: a value that changes is sent back to
// the device by its settings slot, exactly as if the user had set it.
void MainWindow::inputData(QByteArray qbaData)
{
    if (qbaData.size() < int(report::kStatusSize))
        return;
    const auto *p = reinterpret_cast<const std::uint8_t *>(qbaData.constData());

    switch (p[0]) {
    case StatusCharge:
        labelCharge->setText(report::payloadFlag(p) ? tr("En charge") : tr("Chargé"));
        break;
    case StatusSensitivityMin:
        ui->sliderSensitivityMin->setValue(report::payloadU8(p));
        break;
    case StatusSensitivityMax:
        ui->sliderSensitivityMax->setValue(report::payloadU8(p));
        break;
    case StatusInhibitTime:
        ui->spinInhibitTime->setValue(report::payloadU32AsInt(p));
        break;
    case StatusAuxDelay:
        ui->spinAuxDelay->setValue(report::payloadU32AsInt(p));
        break;
    case StatusAuxSensor:
        if (report::payloadFlag(p)) {
            setIntSensor(false);
            setAuxSensor(true);
        } else {
            setIntSensor(true);
            setAuxSensor(false);
        }
        break;
    case StatusFirmware:
        showFirmware(report::payloadVersion(p));
        break;
    case StatusPwmLed:
        showLedPwm(report::payloadS8(p));
        break;
    case StatusInterNrShot:
        ui->spinNrShot->setValue(report::payloadU16(p));
        break;
    case StatusInterRelease:
        ui->spinReleaseTime->setValue(report::payloadU16(p));
        break;
    case StatusInterInterval:
        ui->spinInterval->setValue(report::payloadU16(p));
        break;
    case StatusInterDelay:
        ui->spinStartDelay->setValue(report::payloadU16(p));
        break;
    case StatusInterState:
        showInterState(report::payloadU8(p));
        break;
    case StatusInterShot:
        // Kept signed on purpose: 0xFFFFFFFE is shot -2.
        iShotCounter = static_cast<qint32>(report::payloadU32(p));
        break;
    case StatusCurSensitivity:
        ui->spinCurSensitivity->setValue(report::payloadS8(p));
        break;
    case StatusPrefocus:
        ui->checkPrefocus->setChecked(report::payloadU8(p) == 1);
        break;
    case StatusBattery:
        labelBattery->setText(QString::asprintf("Niv. batt.: %d", report::payloadU8(p)));
        break;
    default:
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

void MainWindow::showLedPwm(qint8 cDuty)
{
    for (std::size_t level = 0; level < aiLedPwm.size(); ++level) {
        if (aiLedPwm[level] == cDuty) {
            ui->spinLedPwm->setValue(int(level));
            return;
        }
    }
}
