#include "shell/mainwindow.h"

// Placeholder until the branch lookup lands.
namespace zjx {
void MainWindow::openBranchLookup() {}
} // namespace zjx
