#include "mainwindow.h"

#include "report.h"
#include "ui_mainwindow.h"

#include <QLabel>

void MainWindow::refreshConnection(bool bStatus)
{
    // The status bar and its four cells in one colour: green with the ORV, red without.
    const QString colour =
        bStatus ? QStringLiteral("rgb(30,200,40)") : QStringLiteral("rgb(200,20,20)");
    labelConnection->setText(bStatus ? tr("ORV connecté") : tr("ORV non détecté"));
    ui->statusBar->setStyleSheet(QStringLiteral(" QStatusBar {background: %1;}").arg(colour));
    for (QLabel *label : {labelConnection, labelFirmware, labelCharge, labelBattery})
        label->setStyleSheet(QStringLiteral(" QLabel {background: %1;}").arg(colour));

    if (bStatus) {
        for (quint8 code : report::kStateRequests)
            sendRequest(code);
    } else {
        labelFirmware->setText(QString());
        labelCharge->setText(QString());
        labelBattery->setText(QString());
    }

    // Settings outside the three main groups are disabled too: a change made without a
    // device would look applied although nothing received it.
    for (QGroupBox *group : {ui->groupGeneral, ui->groupBox_4, ui->groupInterval, ui->groupLag})
        group->setEnabled(bStatus);
}
