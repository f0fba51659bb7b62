#include "guess/companyguess.h"

#include "core/catalogue.h"
#include "guess/numberguess.h"
#include "guess/onlineguess.h"

namespace zjx {

CompanyGuess::CompanyGuess(std::function<QString()> host, QObject* parent)
    : QObject(parent), m_online(new OnlineGuess(std::move(host), this)) {
    connect(m_online, &OnlineGuess::answered, this, &CompanyGuess::onlineAnswered);
}

void CompanyGuess::setSources(std::function<QHash<QString, int>()> bookUses, std::function<bool()> busy) {
    m_bookUses = std::move(bookUses);
    m_busy = std::move(busy);
}

void CompanyGuess::pickedByHand() {
    m_byHand = true;
    m_online->cancel();
    Q_EMIT withdrawn();
}

void CompanyGuess::numberChanged(const QString& number) {
    m_online->cancel();
    m_number = number;
    if (number.isEmpty())
        m_byHand = false;
    const NumberGuess guess = guessNumber(number);
    const QList<int> ranked = rankCandidates(guess.candidates, m_bookUses());
    if (m_byHand || ranked.isEmpty())
        Q_EMIT withdrawn();
    if (m_byHand)
        return;
    if (!ranked.isEmpty())
        show(ranked);
    // Plain digits that fit a foreign check digit are shown at once and still asked: the provider's
    // answer, when there is one, replaces the guess.
    if (guess.verdict == NumberGuess::Verdict::Open || guess.plainDigits)
        m_online->ask(number);
}

void CompanyGuess::onlineAnswered(const QString& number, const QStringList& codes) {
    // A hand pick or another number since the ask: the answer is about something else now.
    if (m_byHand || (m_busy && m_busy()) || m_number != number)
        return;
    QList<int> candidates;
    for (const QString& code : codes)
        candidates << CourierCatalogue::indexOfCode(code);
    show(rankCandidates(candidates, m_bookUses()));
}

void CompanyGuess::show(const QList<int>& ranked) {
    // A number that fits nothing leaves the chooser and the hint line as they are.
    if (ranked.isEmpty() || ranked.first() >= CourierCatalogue::count)
        return;
    Q_EMIT guessed(ranked.first(), guessHint(ranked));
}

} // namespace zjx
