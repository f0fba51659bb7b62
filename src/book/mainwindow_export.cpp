#include "shell/mainwindow.h"

// Placeholder until the export lands.
namespace zjx {
void MainWindow::Command6_Click() {}
} // namespace zjx
