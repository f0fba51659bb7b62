#include "gui/mainwindow.h"

#include "book/parcelrecord.h"
#include "guess/numberguess.h"

#include <QComboBox>

namespace zjx {

void MainWindow::connectGuess() {
    // editTextChanged covers typing, Ctrl+V and F8 (which sets the box's text); activated is only
    // ever the user's own pick, never the program's setCurrentIndex.
    connect(Text3, &QComboBox::editTextChanged, this, [this] { Text3_Change(); });
    connect(Combo1, &QComboBox::activated, this, [this] { Combo1_Activated(); });
}

void MainWindow::Combo1_Activated() {
    m_companyByHand = true;
}

void MainWindow::Text3_Change() {
    const QString number = ParcelRecord::singleLine(Text3->currentText());
    if (number.isEmpty()) {
        m_companyByHand = false;
        return;
    }
    if (m_companyByHand)
        return;
    const NumberGuess guess = guessNumber(number);
    if (guess.verdict == NumberGuess::Verdict::Known)
        showGuess(rankCandidates(guess.candidates, countBookCompanies(Combo6)));
}

void MainWindow::showGuess(const QList<int>& ranked) {
    // A number that fits nothing leaves the chooser and the hint line as they are.
    if (ranked.isEmpty() || ranked.first() >= Combo1->count())
        return;
    Combo1->setCurrentIndex(ranked.first()); // Combo1_Click follows with the service code
    setHint(guessHint(ranked));
}

} // namespace zjx
