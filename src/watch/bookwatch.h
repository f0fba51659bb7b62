#pragma once

#include "watch/news.h"
#include "watch/newsbatch.h"
#include "watch/parcelstates.h"
#include "watch/watchcost.h"
#include "watch/watchplan.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

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

    void setParcels(const QList<ParcelKey>& parcels);
    void setEnabled(bool on);
    bool enabled() const { return m_enabled; }
    // A new interval applies at once: the planned parcels are spread again over it.
    void setMinutes(int minutes);
    int minutes() const { return m_minutes; }
    void setQuietHours(const QTime& from, const QTime& to);
    void setDailyLimit(int limit);
    int dailyLimit() const { return m_dailyLimit; }
    // The limit of billed asks is reached: nothing more is asked today.
    bool stoppedForToday() const;
    // A day of the watch as planned now, with the back-end last heard from.
    WatchCost cost() const;
    const WatchPlan& plan() const { return m_plan; }
    int minimumMinutes() const { return m_minimumMinutes; } // the service's cache lifetime
    int requestsSent() const { return m_sent; }
    bool asking() const { return m_busy; }

    // The user asks for these parcels now (in this order, one at a time): their answers are shown,
    // not told as news.
    void askNow(const QList<ParcelKey>& parcels);

    // Looks at the plan now (the timer calls it; tests with a fake clock call it themselves).
    void wake();

Q_SIGNALS:
    void news(const QList<zjx::ParcelNews>& news);
    void minimumChanged(int minutes);
    void askingChanged(bool asking);
    // The plan or what it costs changed (interval, quiet hours, limit, back-end, a day's spending).
    void costChanged();

private:
    void ask(const ParcelKey& key, ParcelStates::Asker asker);
    void answered(const ParcelKey& key, ParcelStates::Asker asker, const HttpResult& result);
    void planNextWake();

    ParcelStates& m_states;
    WatchPlan m_plan;
    QTimer m_timer;
    std::function<QString()> m_host;
    QList<ParcelKey> m_parcels;
    QList<ParcelKey> m_userAsks;
    bool m_enabled = false;
    bool m_busy = false;
    int m_minutes = WatchPlan::defaultMinutes;
    int m_minimumMinutes = 1;
    int m_dailyLimit = defaultDailyLimit;
    int m_sent = 0;
    NewsBatch m_batch;
};

} // namespace zjx
