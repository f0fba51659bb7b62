#include "schedule/requeryschedule.h"

#include "core/querysession.h"
#include "platform/environment.h"
#include "platform/httpclient.h"
#include "schedule/schedule.h"

#include <QScopedValueRollback>

namespace zjx {

RequerySchedule::RequerySchedule(QuerySession& query, QObject* parent) : QObject(parent), m_query(query) {
    m_timedClock.setInterval(1000);
    m_loopClock.setInterval(60000);
    connect(&m_timedClock, &QTimer::timeout, this, &RequerySchedule::timedTick);
    connect(&m_loopClock, &QTimer::timeout, this, &RequerySchedule::loopTick);
    // Queued: the query or the request that ends has returned before the next one starts. The
    // request matters on its own: the version check's is no query.
    connect(&query, &QuerySession::finished, this, &RequerySchedule::runPending, Qt::QueuedConnection);
    connect(&HttpClient::instance(), &HttpClient::waitEnded, this, &RequerySchedule::runPending,
            Qt::QueuedConnection);
}

void RequerySchedule::setHooks(std::function<void()> run, std::function<bool()> hasParcel,
                               std::function<bool()> busy) {
    m_run = std::move(run);
    m_hasParcel = std::move(hasParcel);
    m_busy = std::move(busy);
}

void RequerySchedule::setTimedTime(const QString& hourText, const QString& minuteText) {
    m_hourText = hourText;
    m_minuteText = minuteText;
}

void RequerySchedule::setLoopInterval(const QString& minutesText) {
    m_intervalText = minutesText;
}

void RequerySchedule::armTimed() {
    m_timedArmed = true;
    m_timedClock.start();
    ++m_runs[int(Mode::Timed)];
}

void RequerySchedule::disarmTimed() {
    m_timedArmed = false;
    m_timedClock.stop();
    ++m_runs[int(Mode::Timed)];
}

void RequerySchedule::startLoop() {
    m_loopRunning = true;
    m_loopClock.start();
    m_loopMinutes = 0;
    ++m_runs[int(Mode::Loop)];
}

void RequerySchedule::stopLoop() {
    m_loopRunning = false;
    m_loopClock.stop();
    m_loopMinutes = 0;
    ++m_runs[int(Mode::Loop)];
}

void RequerySchedule::timedTick() {
    if (!schedule::timedQueryDue(Clock::now().time(), m_hourText, m_minuteText))
        return;
    // Stopped before the request: a tick that comes while it waits must not fire a second time.
    m_timedClock.stop();
    requery(Mode::Timed);
    // A re-query that has to wait keeps the timed query armed (and stoppable) until it runs.
    if (!waits(Mode::Timed))
        endTimed();
}

void RequerySchedule::endTimed() {
    if (m_timedArmed) {
        disarmTimed();
        Q_EMIT timedEnded();
    }
    m_timedClock.stop();
}

void RequerySchedule::loopTick() {
    // The count restarts before the request, so the minutes that pass while it waits still count.
    if (schedule::countLoopMinute(m_loopMinutes, m_intervalText))
        requery(Mode::Loop);
}

bool RequerySchedule::mustWait() const {
    // A tick can fall into the wait of a blocking request (its event loop runs timers), between an
    // answer and its parse, or into a box a query shows (its event loop runs timers too); a query
    // started then would overwrite the one in flight.
    return HttpClient::instance().isWaiting() || m_query.inFlight() || m_requeryRunning || (m_busy && m_busy());
}

bool RequerySchedule::waits(Mode mode) const {
    const std::optional<QuerySession::Requery>& pending = m_query.pendingRequery();
    return pending && pending->mode == int(mode) && pending->run == m_runs[int(mode)];
}

void RequerySchedule::requery(Mode mode) {
    if (!mustWait()) {
        runNow();
        return;
    }
    // Due re-queries of the same parcel that meet while one waits are one and the same.
    const std::optional<QuerySession::Requery>& pending = m_query.pendingRequery();
    if (pending && pending->run == m_runs[pending->mode])
        return;
    m_query.setPendingRequery(int(mode), m_runs[int(mode)]);
}

void RequerySchedule::runPending() {
    const std::optional<QuerySession::Requery> pending = m_query.pendingRequery();
    if (!pending)
        return;
    // Stopped (or stopped and started again) while it waited: the user no longer asks for it.
    if (pending->run != m_runs[pending->mode]) {
        (void)m_query.takePendingRequery();
        return;
    }
    // Still busy: the end of what it waits for calls again.
    if (mustWait())
        return;
    (void)m_query.takePendingRequery();
    // The book may have been cleared in the meantime.
    if (m_hasParcel && m_hasParcel())
        runNow();
    if (pending->mode == int(Mode::Timed))
        endTimed();
}

void RequerySchedule::runNow() {
    {
        const QScopedValueRollback running(m_requeryRunning, true);
        if (m_run)
            m_run();
    }
    if (m_query.pendingRequery())
        QMetaObject::invokeMethod(this, &RequerySchedule::runPending, Qt::QueuedConnection);
}

} // namespace zjx
