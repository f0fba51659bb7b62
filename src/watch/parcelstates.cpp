#include "watch/parcelstates.h"

#include "core/estimateddelivery.h"
#include "watch/pickupcode.h"
#include "watch/watchcost.h"

#include <utility>

namespace zjx {

QString troubleOf(Screening verdict) {
    if (verdict == Screening::NotFound)
        return troubleNoRecord;
    if (verdict == Screening::Expired)
        return troubleExpired;
    return troubleFailed;
}

QString ParcelState::shownState() const {
    if (!trouble.isEmpty())
        return trouble;
    return state.isEmpty() ? notAskedState : state;
}

QString ParcelState::pickupCode() const {
    return state == deliveredState ? QString() : findPickupCode(latest.progress);
}

QString ParcelState::estimateText(const QDate& today) const {
    return estimatedDeliveryText(estimate, today, state == deliveredState);
}

const ParcelState* ParcelStates::find(const ParcelKey& key) const {
    const auto it = m_states.constFind(key);
    return it == m_states.cend() ? nullptr : &*it;
}

News ParcelStates::observe(const ParcelKey& key, const Sighting& answer, const QDateTime& at, Asker asker,
                           const QString& source) {
    const bool setAside = fromAnotherSource(key, source);
    ParcelState& s = m_states[key];
    if (setAside)
        s = ParcelState{};
    if (!source.isEmpty())
        s.source = source;
    const Judgement j = judgeAnswer(s.sighting(), answer);
    const News news = asker == Asker::User ? News::None : j.news;
    s.askedAt = at;
    s.trouble.clear();
    s.failures = 0;
    if (!j.stale) {
        s.deliveredAnswers = j.state == deliveredState ? s.deliveredAnswers + 1 : 0;
        s.state = j.state;
        s.latest = answer.latest;
        s.estimate = answer.estimate;
    }
    if (asker == Asker::User)
        s.unseen = false;
    else if (news != News::None)
        s.unseen = true;
    Q_EMIT changed(key);
    return news;
}

bool ParcelStates::fromAnotherSource(const ParcelKey& key, const QString& source) const {
    // Knowledge from before the back-end was remembered is taken as the current back-end's.
    const ParcelState* s = find(key);
    return s && !source.isEmpty() && !s->source.isEmpty() && s->source != source;
}

void ParcelStates::fail(const ParcelKey& key, const QString& trouble, const QDateTime& at) {
    ParcelState& s = m_states[key];
    s.trouble = trouble;
    s.askedAt = at;
    ++s.failures;
    Q_EMIT changed(key);
}

void ParcelStates::markSeen(const ParcelKey& key) {
    const auto it = m_states.find(key);
    if (it == m_states.end() || !it->unseen)
        return;
    it->unseen = false;
    Q_EMIT changed(key);
}

void ParcelStates::forget(const ParcelKey& key) {
    if (m_states.remove(key))
        Q_EMIT changed(key);
}

void ParcelStates::replaceAll(QHash<ParcelKey, ParcelState> states) {
    m_states = std::move(states);
    Q_EMIT reset();
}

bool ParcelStates::chargeAsk(const ParcelKey& key, const QDate& today) {
    if (!isCharged(m_ledger.backend, find(key)))
        return false;
    setLedger(charged(m_ledger, today, 1));
    return true;
}

void ParcelStates::settleAsk(bool counted, const QString& backend, const ParcelState* before, const QDate& today) {
    if (backend.isEmpty())
        return;
    WatchLedger ledger = m_ledger;
    ledger.backend = backend;
    const bool billed = isCharged(backend, before);
    if (billed != counted)
        ledger = charged(ledger, today, billed ? 1 : -1);
    setLedger(ledger);
}

void ParcelStates::setLedger(const WatchLedger& ledger) {
    if (ledger == m_ledger)
        return;
    m_ledger = ledger;
    Q_EMIT ledgerChanged();
}

} // namespace zjx
