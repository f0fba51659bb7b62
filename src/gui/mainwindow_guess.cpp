#include "gui/mainwindow.h"

#include "book/parcelrecord.h"
#include "core/catalogue.h"
#include "guess/numberguess.h"
#include "guess/onlineguess.h"

#include <QComboBox>

namespace zjx {

void MainWindow::connectGuess() {
    // The service child's address as it is known now: waiting for it would block the panel.
    m_onlineGuess = new OnlineGuess([this] { return m_settings.trackingHost; }, this);
    connect(m_onlineGuess, &OnlineGuess::answered, this, &MainWindow::onlineGuessAnswered);
    // editTextChanged covers typing, Ctrl+V and F8 (which sets the box's text); activated is only
    // ever the user's own pick, never the program's setCurrentIndex.
    connect(Text3, &QComboBox::editTextChanged, this, [this] { Text3_Change(); });
    connect(Combo1, &QComboBox::activated, this, [this] { Combo1_Activated(); });
}

void MainWindow::Combo1_Activated() {
    m_companyByHand = true;
    m_onlineGuess->cancel();
}

void MainWindow::Text3_Change() {
    m_onlineGuess->cancel();
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
    else if (guess.verdict == NumberGuess::Verdict::Open)
        m_onlineGuess->ask(number);
}

void MainWindow::onlineGuessAnswered(const QString& number, const QStringList& codes) {
    // A hand pick or another number since the ask: the answer is about something else now.
    if (m_companyByHand || ParcelRecord::singleLine(Text3->currentText()) != number)
        return;
    QList<int> candidates;
    for (const QString& code : codes)
        candidates << CourierCatalogue::indexOfCode(code);
    showGuess(rankCandidates(candidates, countBookCompanies(Combo6)));
}

void MainWindow::showGuess(const QList<int>& ranked) {
    // A number that fits nothing leaves the chooser and the hint line as they are.
    if (ranked.isEmpty() || ranked.first() >= Combo1->count())
        return;
    Combo1->setCurrentIndex(ranked.first()); // Combo1_Click follows with the service code
    setHint(guessHint(ranked));
}

} // namespace zjx
