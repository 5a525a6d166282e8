#include "mainwindow.h"

#include "hidthread.h"

void MainWindow::sendCommand(quint8 ucCode, qint32 iValue)
{
    pHidThread->HID_vSendCommand(ucCode, iValue);
}

void MainWindow::sendRequest(quint8 ucCode)
{
    sendCommand(ucCode, 0);
}
