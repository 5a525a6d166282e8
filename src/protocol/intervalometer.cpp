#include "mainwindow.h"

#include "statusreading.h"
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
    const auto progress = orv::seriesProgress(iState, iShotCounter, ui->spinNrShot->value());
    if (!progress)
        return;
    const qint64 exposure = progress->exposure;
    const int of = progress->total;
    switch (progress->step) {
    case orv::SeriesStep::Inactive:
        ui->labelInter->setText(tr("Intervallomètre inactif"));
        setIntervalometerLocked(false);
        ui->btnInterval->setText(kStartText);
        break;
    case orv::SeriesStep::WaitingFirst:
        ui->labelInter->setText(tr("Attente première pose"));
        break;
    case orv::SeriesStep::Exposing:
        ui->labelInter->setText(of ? tr("Pose %1/%2 en cours").arg(exposure).arg(of)
                                   : tr("Pose %1 en cours").arg(exposure));
        break;
    case orv::SeriesStep::Waiting:
        ui->labelInter->setText(of ? tr("Attente pose %1/%2").arg(exposure).arg(of)
                                   : tr("Attente pose %1").arg(exposure));
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
