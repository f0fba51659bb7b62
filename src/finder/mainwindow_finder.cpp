#include "shell/mainwindow.h"

// Placeholder until the company finder lands.
namespace zjx {
void MainWindow::Command2_Click() {}
void MainWindow::Command15_Click() {}
} // namespace zjx
