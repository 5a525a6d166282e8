#include "mainwindow.h"

void MainWindow::refreshConnection(bool) {}
