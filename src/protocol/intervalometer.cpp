#include "mainwindow.h"

#include "report.h"
#include "ui_mainwindow.h"

namespace {

const QString kStartText = QStringLiteral("Démarrer intervallomètre");
const QString kStopText = QStringLiteral("Arrêter intervallomètre");

} // namespace

// The button's text is the window's record of a series started here. Stopping only asks:
// the parameters stay locked until the device reports the intervalometer inactive.
void MainWindow::setInterStartStop()
{
    if (ui->btnInterval->text() == kStartText) {
        sendCommand(CmdInterStart, 0);
        setIntervalometerLocked(true);
        ui->btnInterval->setText(kStopText);
    } else {
        sendCommand(CmdInterStop, 0);
    }
}

void MainWindow::setIntervalometerLocked(bool bLocked)
{
    for (QWidget *w :
         {static_cast<QWidget *>(ui->spinStartDelay), static_cast<QWidget *>(ui->spinReleaseTime),
          static_cast<QWidget *>(ui->spinInterval), static_cast<QWidget *>(ui->spinNrShot),
          ui->tabGeneral, ui->tabLag})
        w->setEnabled(!bLocked);
}

void MainWindow::showInterState(int iState)
{
    const int shots = ui->spinNrShot->value();
    // 64 bits: the device may report any 32-bit shot number, and the next one is shown.
    const qint64 next = qint64(iShotCounter) + 1;
    switch (iState) {
    case InterInactive:
        ui->labelInter->setText(tr("Intervallomètre inactif"));
        setIntervalometerLocked(false);
        ui->btnInterval->setText(kStartText);
        break;
    case InterWaitFirst:
        ui->labelInter->setText(tr("Attente première pose"));
        break;
    case InterExposing:
        ui->labelInter->setText(shots > 0 ? tr("Pose %1/%2 en cours").arg(iShotCounter).arg(shots)
                                          : tr("Pose %1 en cours").arg(iShotCounter));
        break;
    case InterWaitNext:
        ui->labelInter->setText(shots > 0 ? tr("Attente pose %1/%2").arg(next).arg(shots)
                                          : tr("Attente pose %1").arg(next));
        break;
    default:
        break;
    }
}

void MainWindow::setLag()
{
    const QCheckBox *const bits[] = {ui->checklag0, ui->checklag1, ui->checklag2, ui->checklag3,
                                     ui->checklag4, ui->checklag5, ui->checklag6, ui->checklag7};
    int lag = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (bits[bit]->isChecked())
            lag += 1 << bit;
    ui->spinlag->setValue(lag);
}

void MainWindow::startLag()
{
    sendCommand(CmdStartLag, 0);
}
