#pragma once

#include "watch/news.h"
#include "watch/newsbatch.h"
#include "watch/parcelstates.h"
#include "watch/watchcost.h"
#include "watch/watchplan.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class QUrl;

namespace zjx {

struct HttpResult;

// Watches the whole book: asks each parcel again by the plan, through the program's tracking
// service, with requests of its own that never wait in the main window's query; what it learns
// goes into the shared per-parcel knowledge, and news is announced once per parcel.
class BookWatch : public QObject {
    Q_OBJECT
public:
    explicit BookWatch(ParcelStates& states, QObject* parent = nullptr);

    // host[:port] of the tracking service, asked for at each request (the service child's port
    // may come in late); the company's display name to its service code.
    void setHostSource(std::function<QString()> host) { m_host = std::move(host); }
    // How a request goes out and its answer comes back (the program's HTTP client unless a test or a
    // measurement puts its own).
    using Transport = std::function<void(const QUrl& url, QObject* context, std::function<void(const HttpResult&)> done)>;
    void setTransport(Transport transport) { m_transport = std::move(transport); }

    void setParcels(const QList<ParcelKey>& parcels);
    void setEnabled(bool on);
    bool enabled() const { return m_enabled; }
    // A new interval applies at once: the planned parcels are spread again over it.
    // A new interval, quiet hours or limit re-plans every parcel at once.
    void setMinutes(int minutes);
    int minutes() const { return m_minutes; }
    void setQuietHours(const QTime& from, const QTime& to);
    void setDailyLimit(int limit);
    int dailyLimit() const { return m_dailyLimit; }

    // What the watch is doing, for whoever shows it (the overview, the main window, a tray icon);
    // statusChanged() tells when any of it changes.
    // The limit of billed asks is reached: nothing more is asked today.
    bool stoppedForToday() const;
    // The quiet hours hold the watch: when it goes on; invalid when it is not paused.
    QDateTime pausedUntil() const;
    int watchedCount() const; // the parcels it asks about (signed-for ones no longer)
    int spentToday() const;   // the billed asks of today, whoever started them
    // The billed asks left today under the limit; -1 when the back-end bills nothing.
    int leftToday() const;
    // How many of these asks the back-end last heard from would bill.
    int chargedAsks(const QList<ParcelKey>& parcels) const;

    // A day of the watch as planned now, with the back-end last heard from: what it will really
    // ask, within the limit.
    WatchCost cost() const;
    // How often each kind of parcel is asked when the limit cannot serve them all; else empty.
    QString shareLine() const;
    const WatchPlan& plan() const { return m_plan; }
    int minimumMinutes() const { return m_minimumMinutes; } // the service's cache lifetime
    int requestsSent() const { return m_sent; }
    bool asking() const { return m_busy; }

    // The user asks for these parcels now (in this order, one at a time): their answers are shown,
    // not told as news.
    void askNow(const QList<ParcelKey>& parcels);

    // Looks at the plan now (the timer calls it; tests with a fake clock call it themselves).
    void wake();
    // Every parcel planned again from when it was last asked (after a suspend, a change of back-end).
    void replan();

Q_SIGNALS:
    void news(const QList<zjx::ParcelNews>& news);
    void minimumChanged(int minutes);
    void askingChanged(bool asking);
    // The plan or what it costs changed (interval, quiet hours, limit, back-end, a day's spending).
    void costChanged();
    // Paused for the night or not, stopped for the day or not, the parcels watched.
    void statusChanged();
    // The day's limit is reached, after `spent` billed asks: the watch stops until tomorrow (told
    // again when the user's own asks add to the count).
    void dayLimitReached(int spent);

private:
    void ask(const ParcelKey& key, ParcelStates::Asker asker);
    void answered(const ParcelKey& key, ParcelStates::Asker asker, bool counted, const std::optional<ParcelState>& before,
                  const HttpResult& result);
    void planNextWake();
    void fitBudget(); // the plan's budget from the limit and how the back-end bills
    void checkStatus(); // tells a change of what the watch is doing

    ParcelStates& m_states;
    WatchPlan m_plan;
    QTimer m_timer;
    std::function<QString()> m_host;
    Transport m_transport;
    QList<ParcelKey> m_parcels;
    QList<ParcelKey> m_userAsks;
    bool m_enabled = false;
    bool m_busy = false;
    int m_minutes = WatchPlan::defaultMinutes;
    int m_minimumMinutes = 1;
    int m_dailyLimit = defaultDailyLimit;
    int m_sent = 0;
    NewsBatch m_batch;
    QDateTime m_lastWake; // a wake much later than planned means a suspend: the plan is spread again
    struct Status {
        QDateTime pausedUntil;
        bool stopped = false;
        int watched = 0;
        int spent = -1; // while stopped
        bool operator==(const Status&) const = default;
    } m_status;
};

} // namespace zjx
