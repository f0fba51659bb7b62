#include "gui/mainwindow.h"

#include "gui/form2.h"

namespace zjx {

// A fresh finder for every opening, so the keyword box is always empty.
void MainWindow::Command2_Click() {
    Form2 finder(Combo1, Text5, Label11[2], this);
    finder.exec();
}

void MainWindow::Command15_Click() {
    Form2 finder(Combo1, Text5, Label11[2], this);
    finder.exec();
}

} // namespace zjx
