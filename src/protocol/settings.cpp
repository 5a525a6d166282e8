#include "mainwindow.h"

void MainWindow::refreshSensitivityMax(int) {}

void MainWindow::refreshSensitivityMin(int) {}

void MainWindow::setPwmLed(int) {}

void MainWindow::setCurSensitivity(int) {}

void MainWindow::setPrefocus(bool) {}

void MainWindow::setInhibitTime(int) {}

void MainWindow::setInterDelay(int) {}

void MainWindow::setInterRelease(int) {}

void MainWindow::setInterInterval(int) {}

void MainWindow::setInterNrShot(int) {}

void MainWindow::setIntSensor(bool) {}

void MainWindow::setAuxSensor(bool) {}

void MainWindow::setAuxDelay(int) {}
