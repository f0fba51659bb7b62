#pragma once

#include "watch/parcelkey.h"
#include "watch/parcelstates.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QTime>
#include <array>
#include <limits>
#include <optional>
#include <set>

namespace zjx {

// When each parcel of the book is asked again while the whole book is watched. No timer and no
// clock of its own: the caller says what time it is. Asks are made one at a time, each parcel's
// next one a cadence of waking time after its last, so the plan carries over a restart: it is
// rebuilt from when each parcel was last asked. What fell due meanwhile (a long stop, a suspended
// laptop, a new interval) is spread over its cadence, never sent back to back.
// The asks go where news is likely, and a daily budget of asks is spent in that order:
//  - parcels out for delivery or waiting for pickup, once per interval;
//  - parcels under way, once per interval;
//  - parcels whose latest event is days old, at most every few hours;
//  - signed-for parcels not at all (archived parcels are not in the book, so never in the plan);
//  - nothing during the quiet hours of the night;
//  - a parcel that fails waits a growing pause (never longer than its own cadence).
// When the budget cannot serve a kind at its cadence, the kind is asked as often as what is left
// allows, and the kinds after it wait.
class WatchPlan {
public:
    static constexpr int defaultMinutes = 60;
    static constexpr qint64 quietParcelMs = qint64(3) * 3600 * 1000; // a parcel without movement
    static constexpr qint64 quietAfterMs = qint64(2) * 24 * 3600 * 1000;
    static constexpr qint64 never = std::numeric_limits<qint64>::max() / 4; // a cadence the budget leaves out

    enum Kind { Urgent, Moving, Still, Finished, KindCount };
    static Kind kindOf(const ParcelState* state, const QDateTime& now);
    // The same, with the time before which an event is days old as "yyyy-MM-dd HH:mm".
    static Kind kindOf(const ParcelState* state, const QString& stillBefore);

    // The interval, never shorter than `minimumMinutes` (the tracking service's cache lifetime:
    // asking sooner only brings the same cached answer back). Takes effect at the next replan().
    void setInterval(int minutes, int minimumMinutes = 1);
    qint64 intervalMs() const { return m_intervalMs; }
    // The hours without asks; the same time twice means none.
    void setQuietHours(const QTime& from, const QTime& to);
    // Whether `t` falls in the quiet hours, and when they end.
    std::optional<QDateTime> quietUntil(const QDateTime& t) const;
    qint64 awakeMsPerDay() const;
    // `t` moved on by `ms` of waking time (a time in the quiet hours starts at their end).
    QDateTime addAwake(const QDateTime& t, qint64 ms) const;
    // The asks a day may make; 0 for no limit.
    void setDailyBudget(int asks);
    int dailyBudget() const { return m_budget; }

    // The parcels to watch, in book order. Parcels new to the plan are planned from when they were
    // last asked; those never asked or overdue are spread over their cadence from `now`.
    void setParcels(const QList<ParcelKey>& parcels, const ParcelStates& states, const QDateTime& now);
    // Every parcel planned again from when it was last asked, with the cadences as they are now.
    void replan(const ParcelStates& states, const QDateTime& now);
    void stop();
    bool running() const { return m_running; }
    const QList<ParcelKey>& parcels() const { return m_order; }

    // The parcel due now, if any and if none is being asked; it is then being asked.
    std::optional<ParcelKey> take(const QDateTime& now, const ParcelStates& states);
    // When the next parcel falls due; invalid when nothing will (stopped, nothing left to ask).
    QDateTime nextDue(const ParcelStates& states);
    QDateTime dueOf(const ParcelKey& key) const; // invalid when it is not planned
    // An ask of `key` is over: `ok` when a good answer came (the states already hold it). An ask the
    // user made counts too: the next one follows from it.
    void done(const ParcelKey& key, bool ok, int failures, const QDateTime& now, const ParcelState* state = nullptr);
    bool asking() const { return m_asking.has_value(); }

    // Whether a parcel is still asked: not once it is signed for.
    static bool wanted(const ParcelState* state);
    // How often a parcel of this kind is asked, in waking time; `never` when the budget leaves it out.
    qint64 cadenceOf(Kind kind) const { return m_cadence[kind]; }
    qint64 cadenceMs(const ParcelState* state, const QDateTime& now) const { return m_cadence[kindOf(state, now)]; }
    // What each kind would be asked without a budget.
    qint64 plainCadenceOf(Kind kind) const;
    int countOf(Kind kind) const { return m_count[kind]; }
    // The budget cannot serve every parcel at its own cadence.
    bool budgetShort() const;
    // The pause after `failures` failed asks in a row: 1, 2, 4 ... minutes, at most `capMs`.
    static qint64 backoffMs(int failures, qint64 capMs);
    // The asks a day of this plan makes.
    double asksPerDay() const;

private:
    void fitBudget();
    void count(const ParcelStates& states, const QDateTime& now);
    void setDue(int index, qint64 dueMs);
    qint64 awakeBetween(const QDateTime& from, const QDateTime& to) const;
    qint64 addAwakeMs(qint64 at, qint64 ms) const; // addAwake() on milliseconds since the epoch
    // Plans the parcels at these indexes (all of them when `only` is null).
    void planFromLastAsk(const ParcelStates& states, const QDateTime& now, const QList<int>* only);

    qint64 m_intervalMs = qint64(defaultMinutes) * 60000;
    QTime m_quietFrom;
    QTime m_quietTo;
    int m_budget = 0;
    qint64 m_offsetMs = 0; // the local clock's offset from UTC when the plan was last built
    std::array<qint64, KindCount> m_cadence{};
    std::array<int, KindCount> m_count{};
    QList<ParcelKey> m_order;
    QHash<ParcelKey, int> m_index;
    QList<qint64> m_due;           // by book index; `never` when not planned
    QList<Kind> m_kind;            // by book index, as last counted
    std::set<std::pair<qint64, int>> m_queue; // (due, book index) of the planned parcels
    std::optional<ParcelKey> m_asking;
    bool m_running = false;
};

} // namespace zjx
