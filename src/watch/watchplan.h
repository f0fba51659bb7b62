#pragma once

#include "watch/parcelkey.h"
#include "watch/parcelstates.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QTime>
#include <optional>

namespace zjx {

// When each parcel of the book is asked again while the whole book is watched. No timer and no
// clock of its own: the caller says what time it is. The asks are spread evenly over the interval
// and made one at a time; the budget goes where news is likely:
//  - a parcel under way is asked once per interval;
//  - a parcel whose latest event is days old, at most every few hours;
//  - a signed-for parcel not at all (archived parcels are not in the book, so never in the plan);
//  - nothing during the quiet hours of the night: what falls due then waits for their end, keeping
//    its place in the spread;
//  - a parcel that fails waits a growing pause (never longer than its own interval).
class WatchPlan {
public:
    static constexpr int defaultMinutes = 60;
    static constexpr qint64 quietParcelMs = qint64(3) * 3600 * 1000; // a parcel without movement
    static constexpr qint64 quietAfterMs = qint64(2) * 24 * 3600 * 1000;

    // The interval, never shorter than `minimumMinutes` (the tracking service's cache lifetime:
    // asking sooner only brings the same cached answer back). A running plan takes it at once: the
    // parcels are spread again over the new interval from `now`, none later than it was planned.
    void setInterval(int minutes, int minimumMinutes = 1, const QDateTime& now = {});
    qint64 intervalMs() const { return m_intervalMs; }
    // The hours without asks; the same time twice means none.
    void setQuietHours(const QTime& from, const QTime& to);
    // Whether `t` falls in the quiet hours, and when they end.
    std::optional<QDateTime> quietUntil(const QDateTime& t) const;

    // The parcels to watch, in book order. Parcels new to the plan are spread over the interval
    // after the last one planned; the first of a fresh plan is due at `now`.
    void setParcels(const QList<ParcelKey>& parcels, const QDateTime& now);
    void stop();
    bool running() const { return m_running; }
    const QList<ParcelKey>& parcels() const { return m_order; }

    // The parcel due now, if any and if none is being asked; it is then being asked.
    std::optional<ParcelKey> take(const QDateTime& now, const ParcelStates& states);
    // When the next parcel falls due; invalid when nothing will (stopped, nothing left to ask).
    QDateTime nextDue(const ParcelStates& states) const;
    // The ask of `key` is over: `ok` when a good answer came (the states already hold it).
    void done(const ParcelKey& key, bool ok, int failures, const QDateTime& now, const ParcelState* state = nullptr);
    bool asking() const { return m_asking.has_value(); }

    // Whether a parcel is still asked: not once it is signed for.
    static bool wanted(const ParcelState* state);
    // How often a parcel is asked: the interval, or every few hours when nothing moved for days.
    qint64 cadenceMs(const ParcelState* state, const QDateTime& now) const;
    // The pause after `failures` failed asks in a row: 1, 2, 4 ... minutes, at most `capMs`.
    static qint64 backoffMs(int failures, qint64 capMs);
    qint64 backoffMs(int failures) const { return backoffMs(failures, m_intervalMs); }
    // The asks a day of this plan makes for these parcels as they are known at `now`.
    double asksPerDay(const ParcelStates& states, const QDateTime& now) const;

private:
    qint64 slotMs() const;
    QDateTime outsideQuiet(const QDateTime& due, qint64 cadence) const;

    qint64 m_intervalMs = qint64(defaultMinutes) * 60000;
    QTime m_quietFrom;
    QTime m_quietTo;
    QList<ParcelKey> m_order;
    QHash<ParcelKey, QDateTime> m_due;
    std::optional<ParcelKey> m_asking;
    bool m_running = false;
};

} // namespace zjx
