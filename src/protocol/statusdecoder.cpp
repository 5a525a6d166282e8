#include "mainwindow.h"

void MainWindow::inputData(QByteArray) {}
