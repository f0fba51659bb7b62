#include "watch/watchplan.h"

#include <algorithm>
#include <cmath>

namespace zjx {
namespace {

constexpr qint64 dayMs = qint64(24) * 3600 * 1000;

// Whether an event's time ("2026-12-07 10:00[:00]", also with "/") is before `threshold`
// ("yyyy-MM-dd HH:mm"): compared as text, since the whole book is looked at whenever the plan is
// rebuilt and reading every time as a date would cost more than the rest of the rebuild.
bool eventOlderThan(const QString& raw, const QString& threshold) {
    const QStringView text = QStringView(raw).trimmed();
    if (text.size() < 16 || text.at(10) != u' ' || text.at(13) != u':' || text.at(4) != text.at(7) ||
        (text.at(4) != u'-' && text.at(4) != u'/'))
        return false;
    for (int i = 0; i < 16; ++i) {
        const QChar c = i == 4 || i == 7 ? QChar(u'-') : text.at(i);
        if (c != threshold.at(i))
            return c < threshold.at(i);
    }
    return false;
}

QString stillBefore(const QDateTime& now) {
    return now.addMSecs(-WatchPlan::quietAfterMs).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

} // namespace

WatchPlan::Kind WatchPlan::kindOf(const ParcelState* state, const QDateTime& now) {
    return kindOf(state, stillBefore(now));
}

WatchPlan::Kind WatchPlan::kindOf(const ParcelState* state, const QString& stillBefore) {
    if (!state)
        return Moving;
    if (state->state == deliveredState)
        return Finished;
    if (state->state == outForDeliveryState || state->state == pickupState)
        return Urgent;
    if (state->trouble.isEmpty() && eventOlderThan(state->latest.time, stillBefore))
        return Still;
    return Moving;
}

void WatchPlan::setInterval(int minutes, int minimumMinutes) {
    m_intervalMs = qint64(std::max({minutes, minimumMinutes, 1})) * 60000;
    fitBudget();
}

void WatchPlan::setQuietHours(const QTime& from, const QTime& to) {
    m_quietFrom = from;
    m_quietTo = to;
    fitBudget();
}

void WatchPlan::setDailyBudget(int asks) {
    m_budget = std::max(asks, 0);
    fitBudget();
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

qint64 WatchPlan::awakeMsPerDay() const {
    if (!m_quietFrom.isValid() || !m_quietTo.isValid() || m_quietFrom == m_quietTo)
        return dayMs;
    return dayMs - (qint64(m_quietFrom.msecsTo(m_quietTo)) + dayMs) % dayMs;
}

QDateTime WatchPlan::addAwake(const QDateTime& t, qint64 ms) const {
    QDateTime at = t;
    if (const std::optional<QDateTime> end = quietUntil(at))
        at = *end;
    if (awakeMsPerDay() == dayMs)
        return at.addMSecs(ms);
    // Whole waking days first: the same time of a later day is as awake as this one.
    const qint64 awake = awakeMsPerDay();
    if (ms > awake) {
        const qint64 days = ms / awake - 1;
        at = at.addDays(days);
        ms -= days * awake;
    }
    for (;;) {
        QDateTime quietStart(at.date(), m_quietFrom);
        if (quietStart <= at)
            quietStart = quietStart.addDays(1);
        const qint64 left = at.msecsTo(quietStart);
        if (ms < left)
            return at.addMSecs(ms);
        ms -= left;
        at = *quietUntil(quietStart);
    }
}

qint64 WatchPlan::addAwakeMs(qint64 at, qint64 ms) const {
    const qint64 awake = awakeMsPerDay();
    if (awake == dayMs)
        return at + ms;
    // On the clock of the day the plan was built (its offset from UTC), in whole milliseconds: the
    // whole book is planned with it at once.
    const qint64 from = m_quietFrom.msecsSinceStartOfDay();
    const qint64 to = m_quietTo.msecsSinceStartOfDay();
    const qint64 quiet = dayMs - awake;
    const auto timeOfDay = [this](qint64 t) { return ((t + m_offsetMs) % dayMs + dayMs) % dayMs; };
    const auto inQuiet = [&](qint64 tod) { return from < to ? tod >= from && tod < to : tod >= from || tod < to; };
    if (const qint64 tod = timeOfDay(at); inQuiet(tod))
        at += ((to - tod) % dayMs + dayMs) % dayMs;
    if (ms > awake) {
        const qint64 days = ms / awake - 1;
        at += days * dayMs;
        ms -= days * awake;
    }
    for (;;) {
        const qint64 left = ((from - timeOfDay(at)) % dayMs + dayMs) % dayMs;
        if (ms < left)
            return at + ms;
        ms -= left;
        at += left + quiet;
    }
}

qint64 WatchPlan::awakeBetween(const QDateTime& from, const QDateTime& to) const {
    if (awakeMsPerDay() == dayMs)
        return std::max<qint64>(0, from.msecsTo(to));
    qint64 total = 0;
    QDateTime at = from;
    if (const std::optional<QDateTime> end = quietUntil(at))
        at = *end;
    while (at < to) {
        QDateTime quietStart(at.date(), m_quietFrom);
        if (quietStart <= at)
            quietStart = quietStart.addDays(1);
        if (to <= quietStart)
            return total + at.msecsTo(to);
        total += at.msecsTo(quietStart);
        at = *quietUntil(quietStart);
    }
    return total;
}

qint64 WatchPlan::plainCadenceOf(Kind kind) const {
    switch (kind) {
    case Urgent:
    case Moving:
        return m_intervalMs;
    case Still:
        return std::max(m_intervalMs, quietParcelMs);
    default:
        return never;
    }
}

void WatchPlan::fitBudget() {
    for (int k = 0; k < KindCount; ++k)
        m_cadence[k] = plainCadenceOf(Kind(k));
    if (m_budget <= 0)
        return;
    const double awake = double(awakeMsPerDay());
    const auto wanted = [&](Kind k) { return m_count[k] * awake / double(m_cadence[k]); };
    const auto stretched = [&](int parcels, double asks, qint64 plain) {
        return asks < 1 ? never : std::max(plain, qint64(std::ceil(parcels * awake / asks)));
    };
    // Served in order of how likely news is: the parcels out for delivery or waiting for pickup
    // first, at their interval while the budget lasts.
    double left = m_budget;
    if (wanted(Urgent) <= left + 1e-6) {
        left -= wanted(Urgent);
    } else {
        m_cadence[Urgent] = stretched(m_count[Urgent], left, m_cadence[Urgent]);
        left = 0;
    }
    const double moving = wanted(Moving);
    const double still = wanted(Still);
    if (moving + still <= left + 1e-6)
        return;
    if (left < 1) {
        m_cadence[Moving] = m_cadence[Still] = never;
        return;
    }
    if (moving <= left) { // the parcels under way at their interval, the still ones share the rest
        m_cadence[Still] = stretched(m_count[Still], left - moving, m_cadence[Still]);
        return;
    }
    // Neither can be served: the rest share what is left alike, and a still parcel is never asked
    // more often than its own cadence.
    const qint64 shared = stretched(m_count[Moving] + m_count[Still], left, m_cadence[Moving]);
    if (shared >= m_cadence[Still]) {
        m_cadence[Moving] = m_cadence[Still] = shared;
        return;
    }
    m_cadence[Moving] = stretched(m_count[Moving], left - still, m_cadence[Moving]);
}

bool WatchPlan::budgetShort() const {
    for (int k = 0; k < Finished; ++k)
        if (m_count[k] > 0 && m_cadence[k] != plainCadenceOf(Kind(k)))
            return true;
    return false;
}

double WatchPlan::asksPerDay() const {
    const double awake = double(awakeMsPerDay());
    double asks = 0;
    for (int k = 0; k < Finished; ++k)
        if (m_cadence[k] < never)
            asks += m_count[k] * awake / double(m_cadence[k]);
    return asks;
}

void WatchPlan::count(const ParcelStates& states, const QDateTime& now) {
    m_count.fill(0);
    m_kind.resize(m_order.size());
    m_offsetMs = qint64(now.offsetFromUtc()) * 1000;
    const QString threshold = stillBefore(now);
    for (int i = 0; i < m_order.size(); ++i) {
        m_kind[i] = kindOf(states.find(m_order.at(i)), threshold);
        ++m_count[m_kind[i]];
    }
    fitBudget();
}

void WatchPlan::setDue(int index, qint64 dueMs) {
    qint64& due = m_due[index];
    if (due != never)
        m_queue.erase({due, index});
    due = dueMs;
    if (due != never)
        m_queue.insert({due, index});
}

QDateTime WatchPlan::dueOf(const ParcelKey& key) const {
    const int i = m_index.value(key, -1);
    return i < 0 || m_due.at(i) == never ? QDateTime() : QDateTime::fromMSecsSinceEpoch(m_due.at(i));
}

void WatchPlan::planFromLastAsk(const ParcelStates& states, const QDateTime& now, const QList<int>* only) {
    // Per kind, each parcel's next ask from when it was last asked (or at once, never asked).
    QList<std::pair<qint64, int>> byKind[KindCount];
    const qint64 nowMs = now.toMSecsSinceEpoch();
    const auto plan = [&](int i) {
        const Kind kind = m_kind.at(i);
        const qint64 cadence = m_cadence[kind];
        setDue(i, never);
        if (kind == Finished || cadence >= never)
            return;
        const ParcelState* s = states.find(m_order.at(i));
        qint64 due = std::numeric_limits<qint64>::min(); // never asked: first
        if (s && s->askedAt.isValid())
            due = addAwakeMs(s->askedAt.toMSecsSinceEpoch(), s->failures > 0 ? backoffMs(s->failures, cadence) : cadence);
        byKind[kind].append({due, i});
    };
    if (only)
        for (int i : *only)
            plan(i);
    else
        for (int i = 0; i < m_order.size(); ++i)
            plan(i);
    // The parcels of a kind are spread over its cadence: none is asked sooner than it falls due,
    // but asks that would bunch up (all fell due during a long stop, or were made close together
    // under a shorter cadence) are moved apart to the kind's share of it. The kinds start a little
    // apart, so no two asks go out together.
    int kinds = 0;
    for (int k = 0; k < Finished; ++k)
        kinds += byKind[k].isEmpty() ? 0 : 1;
    for (int k = 0, rank = 0; k < Finished; ++k) {
        QList<std::pair<qint64, int>>& parcels = byKind[k];
        if (parcels.isEmpty())
            continue;
        std::sort(parcels.begin(), parcels.end());
        const qint64 gap = std::max<qint64>(1, m_cadence[k] / parcels.size());
        qint64 next = addAwakeMs(nowMs, gap * rank++ / kinds);
        for (const auto& [due, i] : std::as_const(parcels)) {
            const qint64 at = std::max(due, next);
            setDue(i, at);
            next = addAwakeMs(at, gap);
        }
    }
}

void WatchPlan::setParcels(const QList<ParcelKey>& parcels, const ParcelStates& states, const QDateTime& now) {
    const bool fresh = !m_running;
    m_running = true;
    QHash<ParcelKey, qint64> before;
    if (!fresh) {
        before.reserve(m_order.size());
        for (int i = 0; i < m_order.size(); ++i)
            before.insert(m_order.at(i), m_due.at(i));
    }
    m_order = parcels;
    m_index.clear();
    m_index.reserve(m_order.size());
    for (int i = 0; i < m_order.size(); ++i)
        m_index.insert(m_order.at(i), i);
    m_due = QList<qint64>(m_order.size(), never);
    m_queue.clear();
    count(states, now);
    QList<int> added;
    for (int i = 0; i < m_order.size(); ++i) {
        const auto it = before.constFind(m_order.at(i));
        if (it == before.cend())
            added.append(i);
        else
            setDue(i, *it);
    }
    planFromLastAsk(states, now, &added);
    if (m_asking && !m_index.contains(*m_asking))
        m_asking.reset();
}

void WatchPlan::replan(const ParcelStates& states, const QDateTime& now) {
    if (!m_running)
        return;
    count(states, now);
    m_queue.clear();
    m_due.fill(never);
    planFromLastAsk(states, now, nullptr);
}

void WatchPlan::stop() {
    m_running = false;
    m_order.clear();
    m_index.clear();
    m_due.clear();
    m_kind.clear();
    m_queue.clear();
    m_count.fill(0);
    m_asking.reset();
    fitBudget();
}

bool WatchPlan::wanted(const ParcelState* state) {
    return !state || state->state != deliveredState;
}

std::optional<ParcelKey> WatchPlan::take(const QDateTime& now, const ParcelStates& states) {
    if (!m_running || m_asking || quietUntil(now))
        return std::nullopt;
    const qint64 nowMs = now.toMSecsSinceEpoch();
    // The parcel waiting longest goes first; book order breaks ties.
    while (!m_queue.empty() && m_queue.begin()->first <= nowMs) {
        const int i = m_queue.begin()->second;
        if (!wanted(states.find(m_order.at(i)))) {
            setDue(i, never); // signed for since it was planned (the user's own query)
            continue;
        }
        m_asking = m_order.at(i);
        return m_asking;
    }
    return std::nullopt;
}

QDateTime WatchPlan::nextDue(const ParcelStates& states) {
    if (!m_running || m_asking)
        return {};
    while (!m_queue.empty() && !wanted(states.find(m_order.at(m_queue.begin()->second))))
        setDue(m_queue.begin()->second, never);
    if (m_queue.empty())
        return {};
    const QDateTime next = QDateTime::fromMSecsSinceEpoch(m_queue.begin()->first);
    return quietUntil(next).value_or(next);
}

qint64 WatchPlan::backoffMs(int failures, qint64 capMs) {
    const qint64 pause = qint64(60000) << std::clamp(failures - 1, 0, 20);
    return std::min(pause, capMs);
}

void WatchPlan::done(const ParcelKey& key, bool ok, int failures, const QDateTime& now, const ParcelState* state) {
    if (m_asking == key)
        m_asking.reset();
    const int i = m_index.value(key, -1);
    if (i < 0)
        return;
    const Kind kind = kindOf(state, now);
    if (kind != m_kind.at(i)) {
        --m_count[m_kind.at(i)];
        ++m_count[kind];
        m_kind[i] = kind;
        fitBudget();
    }
    const qint64 cadence = m_cadence[kind];
    if (kind == Finished || cadence >= never) {
        setDue(i, never);
        return;
    }
    if (!ok) {
        setDue(i, addAwake(now, backoffMs(failures, cadence)).toMSecsSinceEpoch());
        return;
    }
    const qint64 planned = m_due.at(i);
    if (planned == never || planned > now.toMSecsSinceEpoch()) {
        // Asked ahead of the plan (by the user): the next ask follows from this one.
        setDue(i, addAwake(now, cadence).toMSecsSinceEpoch());
        return;
    }
    // A good answer keeps the parcel's place in the spread: the next ask is a whole number of
    // cadences after the one it was due for (an ask held up for long does not make it catch up),
    // and never sooner than its share of the cadence from now.
    const QDateTime was = QDateTime::fromMSecsSinceEpoch(planned);
    const qint64 steps = awakeBetween(was, now) / cadence + 1;
    const QDateTime next = addAwake(was, steps * cadence);
    const QDateTime soonest = addAwake(now, cadence / std::max(1, m_count[kind]));
    setDue(i, std::max(next, soonest).toMSecsSinceEpoch());
}

} // namespace zjx
