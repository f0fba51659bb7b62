#include "shell/mainwindow.h"

// Placeholder until the timed and loop queries land.
namespace zjx {
void MainWindow::Command8_Click() {}
void MainWindow::Command5_Click() {}
void MainWindow::Command10_Click() {}
void MainWindow::Command11_Click() {}
void MainWindow::Timer4_Timer() {}
void MainWindow::Timer6_Timer() {}
} // namespace zjx
