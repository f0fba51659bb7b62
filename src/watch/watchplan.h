#pragma once

#include "watch/parcelkey.h"
#include "watch/parcelstates.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <optional>

namespace zjx {

// When each parcel of the book is asked again while the whole book is watched. No timer and no
// clock of its own: the caller says what time it is. Every parcel is asked once per interval, the
// asks spread evenly over it and made one at a time; a parcel that fails waits a growing pause
// (never longer than the interval); a signed-for parcel is asked once more and then left alone.
// Archived parcels are not in the book and so never in the plan.
class WatchPlan {
public:
    static constexpr int defaultMinutes = 60;

    // The interval, never shorter than `minimumMinutes` (the tracking service's cache lifetime:
    // asking sooner only brings the same cached answer back).
    void setInterval(int minutes, int minimumMinutes = 1);
    qint64 intervalMs() const { return m_intervalMs; }

    // The parcels to watch, in book order. Parcels new to the plan are spread over the interval
    // after the last one planned; the first of a fresh plan is due at `now`.
    void setParcels(const QList<ParcelKey>& parcels, const QDateTime& now);
    void stop();
    bool running() const { return m_running; }

    // The parcel due now, if any and if none is being asked; it is then being asked.
    std::optional<ParcelKey> take(const QDateTime& now, const ParcelStates& states);
    // When the next parcel falls due; invalid when nothing will (stopped, nothing left to ask).
    QDateTime nextDue(const ParcelStates& states) const;
    // The ask of `key` is over: `ok` when a good answer came (the states already hold it).
    void done(const ParcelKey& key, bool ok, int failures, const QDateTime& now);
    bool asking() const { return m_asking.has_value(); }

    // Whether a parcel is still asked: not once it has been found signed for twice in a row.
    static bool wanted(const ParcelState* state);
    // The pause after `failures` failed asks in a row: 1, 2, 4 ... minutes, at most the interval.
    qint64 backoffMs(int failures) const;

private:
    qint64 slotMs() const;

    qint64 m_intervalMs = qint64(defaultMinutes) * 60000;
    QList<ParcelKey> m_order;
    QHash<ParcelKey, QDateTime> m_due;
    std::optional<ParcelKey> m_asking;
    bool m_running = false;
};

} // namespace zjx
