#include "gui/mainwindow.h"

#include "book/parcelrecord.h"
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
    m_onlineGuess->cancel();
    applyGuess(m_companyGuess.pickedByHand(Combo1->currentIndex()));
}

void MainWindow::Text3_Change() {
    m_onlineGuess->cancel();
    const QString number = ParcelRecord::singleLine(Text3->currentText());
    const CompanyGuess::Step step =
        m_companyGuess.numberChanged(number, Combo1->currentIndex(), countBookCompanies(Combo6));
    applyGuess(step);
    if (step.askOnline)
        m_onlineGuess->ask(number);
}

void MainWindow::onlineGuessAnswered(const QString& number, const QStringList& codes) {
    // A query on its way records the company shown in the chooser: it must not change under it.
    if (queryInFlight())
        return;
    applyGuess(m_companyGuess.onlineAnswered(number, codes, Combo1->currentIndex(), countBookCompanies(Combo6)));
}

void MainWindow::applyGuess(const CompanyGuess::Step& step) {
    if (!step.changes)
        return;
    if (step.company >= 0 && step.company < Combo1->count())
        Combo1->setCurrentIndex(step.company); // Combo1_Click follows with the service code
    // A guess about a number that is gone must not stay in the hint line; whatever the line said
    // before the guess comes back. A hint written since by anything else stays.
    const bool guessShown = !m_guessHint.isEmpty() && Label11[2]->text() == m_guessHint;
    if (step.hint.isEmpty()) {
        if (guessShown)
            Label11[2]->setText(m_hintBeforeGuess);
        m_guessHint.clear();
        return;
    }
    if (!guessShown)
        m_hintBeforeGuess = Label11[2]->text();
    setHint(step.hint);
    m_guessHint = Label11[2]->text();
}

} // namespace zjx
