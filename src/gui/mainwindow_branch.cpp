#include "gui/mainwindow.h"

#include "gui/form5.h"

namespace zjx {

void MainWindow::openBranchLookup() {
    // A fresh window each time: empty name box, every row "未查询".
    Form5 lookup(networkSettings().branchHost, this);
    lookup.exec();
}

} // namespace zjx
