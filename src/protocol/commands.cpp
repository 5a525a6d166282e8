#include "mainwindow.h"

#include "hidthread.h"
#include "report.h"

void MainWindow::sendCommand(quint8 ucCode, qint32 iValue)
{
    const report::Command command = report::buildCommand(ucCode, iValue);
    pHidThread->HID_vWrite(command.data(), command.size());
}

void MainWindow::sendRequest(quint8 ucCode)
{
    sendCommand(ucCode, 0);
}
