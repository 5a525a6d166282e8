#include "mainwindow.h"

void MainWindow::setInterStartStop() {}

void MainWindow::setLag() {}

void MainWindow::startLag() {}
