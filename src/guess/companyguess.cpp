#include "guess/companyguess.h"

#include "core/catalogue.h"
#include "guess/numberguess.h"

namespace zjx {

CompanyGuess::Step CompanyGuess::follow(const QList<int>& ranked, int shown) {
    if (m_before < 0)
        m_before = shown;
    return {true, ranked.first(), guessHint(ranked), false};
}

CompanyGuess::Step CompanyGuess::letGo() {
    Step step;
    step.company = m_before;
    m_before = -1;
    return step;
}

QString CompanyGuess::handPickHint(int picked) const {
    if (m_clear.isEmpty() || m_clear.contains(picked))
        return {};
    return QStringLiteral("单号看起来像") + CourierCatalogue::displayName(m_clear.first());
}

CompanyGuess::Step CompanyGuess::numberChanged(const QString& number, int shown, const QHash<QString, int>& bookUses) {
    m_number = number;
    if (number.isEmpty())
        m_byHand = false; // a new number begins
    const NumberGuess guess = guessNumber(number);
    const QList<int> ranked = rankCandidates(guess.candidates, bookUses);
    const bool clear = guess.verdict == NumberGuess::Verdict::Known && !guess.plainDigits && !ranked.isEmpty();
    m_clear = clear ? ranked : QList<int>();
    if (m_byHand)
        return {true, -1, handPickHint(shown), false};
    if (clear)
        return follow(ranked, shown);
    Step step = letGo();
    if (guess.plainDigits)
        step.hint = guessHint(ranked, GuessStrength::Possible);
    step.askOnline = guess.verdict == NumberGuess::Verdict::Open || guess.plainDigits;
    return step;
}

CompanyGuess::Step CompanyGuess::onlineAnswered(const QString& number, const QStringList& codes, int shown,
                                                const QHash<QString, int>& bookUses) {
    QList<int> candidates;
    for (const QString& code : codes)
        candidates << CourierCatalogue::indexOfCode(code);
    const QList<int> ranked = rankCandidates(candidates, bookUses);
    if (m_byHand || number != m_number || ranked.isEmpty())
        return {false};
    return follow(ranked, shown);
}

CompanyGuess::Step CompanyGuess::pickedByHand(int company) {
    m_byHand = true;
    m_before = -1;
    return {true, -1, handPickHint(company), false};
}

} // namespace zjx
