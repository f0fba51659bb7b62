#include "shell/mainwindow.h"

// Placeholder until the tracking query lands.
namespace zjx {
void MainWindow::kdgs(const QString&, const QString&) {}
void MainWindow::cx() {}
void MainWindow::hx2() {}
void MainWindow::Timer1_Timer() {}
void MainWindow::csh() {}
void MainWindow::Command1_Click() {}
void MainWindow::Command3_Click() {}
} // namespace zjx
