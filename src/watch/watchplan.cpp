#include "watch/watchplan.h"

#include <algorithm>

namespace zjx {
namespace {

constexpr qint64 dayMs = qint64(24) * 3600 * 1000;

} // namespace

void WatchPlan::setInterval(int minutes, int minimumMinutes, const QDateTime& now) {
    const qint64 before = m_intervalMs;
    m_intervalMs = qint64(std::max({minutes, minimumMinutes, 1})) * 60000;
    if (!m_running || !now.isValid() || m_intervalMs == before)
        return;
    // Longest waiting first, each no later than its place in the new spread, which starts a slot
    // from now: an interval changed step by step (a spin box) asks nothing more for each step.
    QList<ParcelKey> byDue = m_order;
    std::stable_sort(byDue.begin(), byDue.end(),
                     [this](const ParcelKey& a, const ParcelKey& b) { return m_due.value(a) < m_due.value(b); });
    const qint64 slot = slotMs();
    for (int i = 0; i < byDue.size(); ++i) {
        QDateTime& due = m_due[byDue.at(i)];
        due = std::min(due, outsideQuiet(now.addMSecs(slot * (i + 1)), m_intervalMs));
    }
}

void WatchPlan::setQuietHours(const QTime& from, const QTime& to) {
    m_quietFrom = from;
    m_quietTo = to;
}

std::optional<QDateTime> WatchPlan::quietUntil(const QDateTime& t) const {
    if (!m_quietFrom.isValid() || !m_quietTo.isValid() || m_quietFrom == m_quietTo)
        return std::nullopt;
    const QTime time = t.time();
    const QDate day = t.date();
    if (m_quietFrom < m_quietTo) { // within one day, e.g. 01:00-06:00
        if (time >= m_quietFrom && time < m_quietTo)
            return QDateTime(day, m_quietTo);
        return std::nullopt;
    }
    // Across midnight, e.g. 22:00-07:00.
    if (time >= m_quietFrom)
        return QDateTime(day.addDays(1), m_quietTo);
    if (time < m_quietTo)
        return QDateTime(day, m_quietTo);
    return std::nullopt;
}

QDateTime WatchPlan::outsideQuiet(const QDateTime& due, qint64 cadence) const {
    const std::optional<QDateTime> end = quietUntil(due);
    if (!end)
        return due;
    // What fell due during the night keeps its place in the spread after it: its offset from the
    // start of the quiet hours, within one of its intervals.
    QDateTime start(end->date(), m_quietFrom);
    if (start >= *end)
        start = start.addDays(-1);
    const qint64 offset = std::max<qint64>(0, start.msecsTo(due)) % std::max<qint64>(cadence, 1);
    return end->addMSecs(offset);
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
            due.insert(key, outsideQuiet(next, m_intervalMs));
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
    return !state || state->state != deliveredState;
}

qint64 WatchPlan::cadenceMs(const ParcelState* state, const QDateTime& now) const {
    if (state && state->trouble.isEmpty() && state->state != outForDeliveryState && state->state != pickupState) {
        const QDateTime latest = readEventTime(state->latest.time);
        if (latest.isValid() && latest.msecsTo(now) > quietAfterMs)
            return std::max(m_intervalMs, quietParcelMs);
    }
    return m_intervalMs;
}

std::optional<ParcelKey> WatchPlan::take(const QDateTime& now, const ParcelStates& states) {
    if (!m_running || m_asking || quietUntil(now))
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
    if (next.isValid())
        if (const std::optional<QDateTime> end = quietUntil(next))
            next = *end;
    return next;
}

qint64 WatchPlan::backoffMs(int failures, qint64 capMs) {
    const qint64 pause = qint64(60000) << std::clamp(failures - 1, 0, 20);
    return std::min(pause, capMs);
}

void WatchPlan::done(const ParcelKey& key, bool ok, int failures, const QDateTime& now, const ParcelState* state) {
    if (m_asking == key)
        m_asking.reset();
    const auto it = m_due.find(key);
    if (it == m_due.end())
        return;
    const qint64 cadence = cadenceMs(state, now);
    // A good answer keeps the parcel's place in the spread: the next ask is a whole number of its
    // intervals after the one it was due for (an ask held up for long does not make it catch up),
    // never earlier than a whole slot from now.
    QDateTime next = it->addMSecs(cadence);
    if (next <= now)
        next = next.addMSecs((next.msecsTo(now) / cadence + 1) * cadence);
    *it = ok ? std::max(next, now.addMSecs(slotMs())) : now.addMSecs(backoffMs(failures, cadence));
    *it = outsideQuiet(*it, cadence);
}

double WatchPlan::asksPerDay(const ParcelStates& states, const QDateTime& now) const {
    // The waking hours of a day.
    qint64 quietMs = 0;
    if (m_quietFrom.isValid() && m_quietTo.isValid() && m_quietFrom != m_quietTo)
        quietMs = (qint64(m_quietFrom.msecsTo(m_quietTo)) + dayMs) % dayMs;
    const double awakeMs = double(dayMs - quietMs);
    double asks = 0;
    for (const ParcelKey& key : m_order) {
        const ParcelState* s = states.find(key);
        if (wanted(s))
            asks += awakeMs / double(cadenceMs(s, now));
    }
    return asks;
}

} // namespace zjx
