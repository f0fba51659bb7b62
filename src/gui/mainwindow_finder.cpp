#include "gui/mainwindow.h"

#include "guess/numberguess.h"
#include "gui/form2.h"

#include <QComboBox>

namespace zjx {

// A fresh finder for every opening, so the keyword box is always empty. A company the finder
// selects is the user's own choice: no guess from the number replaces it.
void MainWindow::Command2_Click() {
    Form2 finder(Combo1, Text5, Label11[2], this);
    finder.setBookUses(countBookCompanies(Combo6));
    const int before = Combo1->currentIndex();
    finder.exec();
    if (Combo1->currentIndex() != before)
        applyGuess(m_companyGuess.pickedByHand(Combo1->currentIndex()));
}

void MainWindow::Command15_Click() {
    Form2 finder(Combo1, Text5, Label11[2], this);
    finder.setBookUses(countBookCompanies(Combo6));
    const int before = Combo1->currentIndex();
    finder.exec();
    if (Combo1->currentIndex() != before)
        applyGuess(m_companyGuess.pickedByHand(Combo1->currentIndex()));
}

} // namespace zjx
