#include "shell/mainwindow.h"

// Placeholder until the parcel list commands land.
namespace zjx {
void MainWindow::Text1_Click() {}
void MainWindow::Command14_Click() {}
void MainWindow::Command4_Click() {}
void MainWindow::Command7_Click() {}
void MainWindow::Command13_Click() {}
void MainWindow::Command9_Click() {}
void MainWindow::Command12_Click() {}
void MainWindow::ListView1_Click() {}
void MainWindow::ListView1_DblClick() {}
} // namespace zjx
