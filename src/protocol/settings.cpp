#include "mainwindow.h"

#include "report.h"
#include "ui_mainwindow.h"

// The two thresholds are kept apart by moving the other slider first; its own slot then sends
// its new value before this one's, so the device never holds a minimum at or above the maximum.
void MainWindow::refreshSensitivityMax(int iValMin)
{
    if (ui->sliderSensitivityMax->value() <= iValMin)
        ui->sliderSensitivityMax->setValue(iValMin + 1);
    sendCommand(CmdSensitivityMin, iValMin);
}

void MainWindow::refreshSensitivityMin(int iValMax)
{
    if (ui->sliderSensitivityMin->value() >= iValMax)
        ui->sliderSensitivityMin->setValue(iValMax - 1);
    sendCommand(CmdSensitivityMax, iValMax);
}

void MainWindow::setPwmLed(int iLevel)
{
    if (iLevel < 0 || iLevel >= int(aiLedPwm.size()))
        return;
    sendCommand(CmdPwmLed, aiLedPwm[std::size_t(iLevel)]);
}

void MainWindow::setCurSensitivity(int iLevel)
{
    sendCommand(CmdCurSensitivity, iLevel);
}

void MainWindow::setPrefocus(bool bOn)
{
    sendCommand(CmdPrefocus, bOn ? 1 : 0);
}

void MainWindow::setInhibitTime(int iMilliseconds)
{
    sendCommand(CmdInhibitTime, iMilliseconds);
}

void MainWindow::setInterDelay(int iSeconds)
{
    sendCommand(CmdInterDelay, iSeconds);
}

void MainWindow::setInterRelease(int iSeconds)
{
    sendCommand(CmdInterRelease, iSeconds);
}

void MainWindow::setInterInterval(int iSeconds)
{
    sendCommand(CmdInterInterval, iSeconds);
}

void MainWindow::setInterNrShot(int iShots)
{
    sendCommand(CmdInterNrShot, iShots);
}

// Checking a group box from code emits no clicked(), so the other box's slot stays quiet and
// one click sends one command.
void MainWindow::setIntSensor(bool bChecked)
{
    ui->grpAux->setChecked(!bChecked);
    sendCommand(CmdAuxSensor, bChecked ? 0 : 1);
}

void MainWindow::setAuxSensor(bool bChecked)
{
    ui->grpInt->setChecked(!bChecked);
    sendCommand(CmdAuxSensor, bChecked ? 1 : 0);
}

void MainWindow::setAuxDelay(int iMilliseconds)
{
    sendCommand(CmdAuxDelay, iMilliseconds);
}
