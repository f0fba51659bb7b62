#include "watch/watchplan.h"

#include <algorithm>

namespace zjx {

void WatchPlan::setInterval(int minutes, int minimumMinutes) {
    m_intervalMs = qint64(std::max({minutes, minimumMinutes, 1})) * 60000;
}

qint64 WatchPlan::slotMs() const {
    return m_order.isEmpty() ? m_intervalMs : m_intervalMs / m_order.size();
}

void WatchPlan::setParcels(const QList<ParcelKey>& parcels, const QDateTime& now) {
    const bool fresh = !m_running;
    m_running = true;
    m_order = parcels;
    QHash<ParcelKey, QDateTime> due;
    QDateTime last;
    for (const ParcelKey& key : parcels)
        if (const auto it = m_due.constFind(key); it != m_due.cend()) {
            due.insert(key, *it);
            if (!last.isValid() || *it > last)
                last = *it;
        }
    const qint64 slot = slotMs();
    QDateTime next = fresh || !last.isValid() ? now : std::max(now, last.addMSecs(slot));
    for (const ParcelKey& key : parcels)
        if (!due.contains(key)) {
            due.insert(key, next);
            next = next.addMSecs(slot);
        }
    m_due = std::move(due);
    if (m_asking && !m_due.contains(*m_asking))
        m_asking.reset();
}

void WatchPlan::stop() {
    m_running = false;
    m_order.clear();
    m_due.clear();
    m_asking.reset();
}

bool WatchPlan::wanted(const ParcelState* state) {
    return !state || state->state != deliveredState || state->deliveredAnswers < 2;
}

std::optional<ParcelKey> WatchPlan::take(const QDateTime& now, const ParcelStates& states) {
    if (!m_running || m_asking)
        return std::nullopt;
    // The parcel waiting longest goes first; book order breaks ties.
    const ParcelKey* best = nullptr;
    for (const ParcelKey& key : std::as_const(m_order)) {
        const QDateTime& due = m_due[key];
        if (due <= now && wanted(states.find(key)) && (!best || due < m_due[*best]))
            best = &key;
    }
    if (!best)
        return std::nullopt;
    m_asking = *best;
    return m_asking;
}

QDateTime WatchPlan::nextDue(const ParcelStates& states) const {
    QDateTime next;
    if (!m_running || m_asking)
        return next;
    for (const ParcelKey& key : m_order) {
        const QDateTime due = m_due.value(key);
        if (wanted(states.find(key)) && (!next.isValid() || due < next))
            next = due;
    }
    return next;
}

qint64 WatchPlan::backoffMs(int failures) const {
    const qint64 pause = qint64(60000) << std::clamp(failures - 1, 0, 20);
    return std::min(pause, m_intervalMs);
}

void WatchPlan::done(const ParcelKey& key, bool ok, int failures, const QDateTime& now) {
    if (m_asking == key)
        m_asking.reset();
    const auto it = m_due.find(key);
    if (it == m_due.end())
        return;
    // A good answer keeps the parcel's place in the spread: the next ask is one interval after
    // the one it was due for, never earlier than a whole slot from now.
    *it = ok ? std::max(it->addMSecs(m_intervalMs), now.addMSecs(slotMs())) : now.addMSecs(backoffMs(failures));
}

} // namespace zjx
