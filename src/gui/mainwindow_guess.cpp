#include "gui/mainwindow.h"

#include "book/parcelrecord.h"
#include "core/catalogue.h"
#include "guess/numberguess.h"
#include "guess/onlineguess.h"

#include <QComboBox>
#include <QLabel>

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
    withdrawGuessHint();
}

void MainWindow::Text3_Change() {
    m_onlineGuess->cancel();
    const QString number = ParcelRecord::singleLine(Text3->currentText());
    if (number.isEmpty())
        m_companyByHand = false;
    const NumberGuess guess = guessNumber(number);
    const QList<int> ranked = rankCandidates(guess.candidates, countBookCompanies(Combo6));
    if (m_companyByHand || ranked.isEmpty())
        withdrawGuessHint();
    if (m_companyByHand)
        return;
    if (!ranked.isEmpty())
        showGuess(ranked);
    // Plain digits that fit a foreign check digit are shown at once and still asked: the provider's
    // answer, when there is one, replaces the guess.
    if (guess.verdict == NumberGuess::Verdict::Open || guess.plainDigits)
        m_onlineGuess->ask(number);
}

void MainWindow::withdrawGuessHint() {
    // A guess about a number that is gone must not stay in the hint line; whatever the line said
    // before the guess comes back. A hint written since by anything else stays.
    if (!m_guessHint.isEmpty() && Label11[2]->text() == m_guessHint)
        Label11[2]->setText(m_hintBeforeGuess);
    m_guessHint.clear();
}

void MainWindow::onlineGuessAnswered(const QString& number, const QStringList& codes) {
    // A hand pick or another number since the ask: the answer is about something else now. A query
    // on its way records the company shown in the chooser: it must not change under it.
    if (m_companyByHand || queryInFlight() || ParcelRecord::singleLine(Text3->currentText()) != number)
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
    if (m_guessHint.isEmpty() || Label11[2]->text() != m_guessHint)
        m_hintBeforeGuess = Label11[2]->text();
    setHint(guessHint(ranked));
    m_guessHint = Label11[2]->text();
}

} // namespace zjx
