#include "shell/mainwindow.h"

#include <QTimer>

// Placeholder until the version check lands.
namespace zjx {
void MainWindow::Timer3_Timer() { Timer3->stop(); }
} // namespace zjx
