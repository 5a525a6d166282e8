#include "mainwindow.h"

#include "settingtable.h"
#include "ui_mainwindow.h"

// The two thresholds are kept apart by moving the other slider first; its own slot then sends
// its new value before this one's, so the device never holds a minimum at or above the maximum.
void MainWindow::refreshSensitivityMax(int iValMin)
{
    if (const auto moved = orv::thresholdInterlock(*orv::settingFor(StatusSensitivityMin), iValMin,
                                                   ui->sliderSensitivityMax->value()))
        ui->sliderSensitivityMax->setValue(*moved);
    sendCommand(CmdSensitivityMin, iValMin);
}

void MainWindow::refreshSensitivityMin(int iValMax)
{
    if (const auto moved = orv::thresholdInterlock(*orv::settingFor(StatusSensitivityMax), iValMax,
                                                   ui->sliderSensitivityMin->value()))
        ui->sliderSensitivityMin->setValue(*moved);
    sendCommand(CmdSensitivityMax, iValMax);
}

void MainWindow::setPwmLed(int iLevel)
{
    if (const auto duty = orv::commandValue(*orv::settingFor(StatusPwmLed), iLevel, aiLedPwm))
        sendCommand(CmdPwmLed, *duty);
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
