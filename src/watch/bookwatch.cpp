#include "watch/bookwatch.h"

#include "core/catalogue.h"
#include "core/parser.h"
#include "core/textcodec.h"
#include "core/trackingrequest.h"
#include "platform/environment.h"
#include "platform/httpclient.h"

#include <QUrl>
#include <algorithm>

namespace zjx {

BookWatch::BookWatch(ParcelStates& states, QObject* parent) : QObject(parent), m_states(states) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &BookWatch::wake);
    m_transport = [](const QUrl& url, QObject* context, std::function<void(const HttpResult&)> done) {
        HttpClient::instance().getResponsive(url, context, std::move(done), codec::gbkServerBody);
    };
    fitBudget();
    // The main window's own queries are billed too: the day's count and the stop follow them.
    connect(&m_states, &ParcelStates::ledgerChanged, this, [this] {
        Q_EMIT costChanged();
        checkStatus();
    });
}

void BookWatch::setParcels(const QList<ParcelKey>& parcels) {
    m_parcels = parcels;
    if (m_enabled)
        m_plan.setParcels(parcels, m_states, Clock::now());
    planNextWake();
    Q_EMIT costChanged();
    checkStatus();
}

void BookWatch::setEnabled(bool on) {
    if (on == m_enabled)
        return;
    m_enabled = on;
    if (on) {
        m_plan.setInterval(m_minutes, m_minimumMinutes);
        // Planned from when each parcel was last asked: switching on (or starting the program)
        // asks nothing again within its cadence.
        m_plan.setParcels(m_parcels, m_states, Clock::now());
        m_lastWake = Clock::now();
    } else {
        m_plan.stop();
    }
    planNextWake();
    Q_EMIT costChanged();
    checkStatus();
}

void BookWatch::replan() {
    m_plan.replan(m_states, Clock::now());
    planNextWake();
    Q_EMIT costChanged();
    checkStatus();
}

void BookWatch::setMinutes(int minutes) {
    m_minutes = std::max(minutes, 1);
    m_plan.setInterval(m_minutes, m_minimumMinutes);
    replan();
}

void BookWatch::setQuietHours(const QTime& from, const QTime& to) {
    m_plan.setQuietHours(from, to);
    replan();
}

void BookWatch::setDailyLimit(int limit) {
    m_dailyLimit = std::max(limit, 1);
    fitBudget();
    replan();
}

void BookWatch::fitBudget() {
    // Only a back-end that bills every ask needs its asks rationed; one that bills a number once
    // is held by the limit itself.
    m_plan.setDailyBudget(chargingOf(m_states.ledger().backend) == Charging::PerQuery ? m_dailyLimit : 0);
}

bool BookWatch::stoppedForToday() const {
    return m_enabled && limitReached(m_states.ledger(), m_dailyLimit, Clock::now().date());
}

QDateTime BookWatch::pausedUntil() const {
    if (!m_enabled)
        return {};
    return m_plan.quietUntil(Clock::now()).value_or(QDateTime());
}

int BookWatch::watchedCount() const {
    // The running plan keeps its count by kind as answers come: no walk through the book per answer.
    if (m_plan.running())
        return m_plan.countOf(WatchPlan::Urgent) + m_plan.countOf(WatchPlan::Moving) + m_plan.countOf(WatchPlan::Still);
    int watched = 0;
    for (const ParcelKey& key : m_parcels)
        watched += WatchPlan::wanted(m_states.find(key)) ? 1 : 0;
    return watched;
}

int BookWatch::spentToday() const {
    return spentOn(m_states.ledger(), Clock::now().date());
}

int BookWatch::leftToday() const {
    if (chargingOf(m_states.ledger().backend) == Charging::Free)
        return -1;
    return std::max(0, m_dailyLimit - spentToday());
}

int BookWatch::chargedAsks(const QList<ParcelKey>& parcels) const {
    int charged = 0;
    for (const ParcelKey& key : parcels)
        charged += isCharged(m_states.ledger().backend, m_states.find(key)) ? 1 : 0;
    return charged;
}

void BookWatch::checkStatus() {
    const bool stopped = stoppedForToday();
    const Status now{pausedUntil(), stopped, watchedCount(), stopped ? spentToday() : -1};
    if (now == m_status)
        return;
    // Told when the stop begins, and again when asks the user makes after it add to the count.
    const bool tell = now.stopped && now.spent != m_status.spent;
    m_status = now;
    Q_EMIT statusChanged();
    if (tell)
        Q_EMIT dayLimitReached(now.spent);
}

WatchCost BookWatch::cost() const {
    const QDateTime now = Clock::now();
    WatchCost cost;
    if (m_enabled) {
        cost = estimateCost(m_plan, m_states, m_states.ledger().backend, now);
    } else {
        // Switched off: what switching on would cost.
        WatchPlan would = m_plan;
        would.setInterval(m_minutes, m_minimumMinutes);
        would.setParcels(m_parcels, m_states, now);
        cost = estimateCost(would, m_states, m_states.ledger().backend, now);
    }
    // What the limit lets through is what will be spent.
    if (chargingOf(m_states.ledger().backend) != Charging::Free)
        cost.charged = std::min(cost.charged, m_dailyLimit);
    return cost;
}

QString BookWatch::shareLine() const {
    if (m_enabled)
        return zjx::shareLine(m_plan, m_dailyLimit);
    WatchPlan would = m_plan;
    would.setInterval(m_minutes, m_minimumMinutes);
    would.setParcels(m_parcels, m_states, Clock::now());
    return zjx::shareLine(would, m_dailyLimit);
}

void BookWatch::askNow(const QList<ParcelKey>& parcels) {
    for (const ParcelKey& key : parcels)
        if (!m_userAsks.contains(key))
            m_userAsks.append(key);
    QTimer::singleShot(0, this, &BookWatch::wake);
}

void BookWatch::wake() {
    const QDateTime now = Clock::now();
    // The timer wakes the watch at least once a minute: a wake long after the last one means the
    // computer slept. What fell due meanwhile is spread over its cadence, not asked at once.
    if (m_enabled && m_lastWake.isValid() && m_lastWake.msecsTo(now) > 3 * 60000 && !m_busy)
        m_plan.replan(m_states, now);
    m_lastWake = now;
    checkStatus();
    if (const QList<ParcelNews> due = m_batch.takeDue(now); !due.isEmpty())
        Q_EMIT news(due);
    if (m_busy)
        return;
    if (!m_userAsks.isEmpty()) {
        ask(m_userAsks.takeFirst(), ParcelStates::Asker::User);
        return;
    }
    if (!limitReached(m_states.ledger(), m_dailyLimit, now.date()))
        if (const std::optional<ParcelKey> key = m_plan.take(now, m_states)) {
            ask(*key, ParcelStates::Asker::Automatic);
            return;
        }
    planNextWake();
}

void BookWatch::planNextWake() {
    const QDateTime now = Clock::now();
    QDateTime next = m_busy ? QDateTime() : m_plan.nextDue(m_states);
    // A day whose limit is reached asks again the next day.
    if (next.isValid() && limitReached(m_states.ledger(), m_dailyLimit, now.date()))
        next = std::max(next, QDateTime(std::max(now.date(), m_states.ledger().day).addDays(1), QTime(0, 0)));
    if (!m_batch.isEmpty() && (!next.isValid() || m_batch.due() < next))
        next = m_batch.due();
    if (!next.isValid() && !m_enabled) {
        m_timer.stop();
        return;
    }
    // Woken at least once a minute while on, so a clock that jumps (a suspended laptop) is noticed
    // soon and the pause for the night is shown as it begins and ends.
    const qint64 wait = next.isValid() ? std::clamp(now.msecsTo(next), qint64(0), qint64(60000)) : 60000;
    m_timer.start(int(wait));
}

void BookWatch::ask(const ParcelKey& key, ParcelStates::Asker asker) {
    m_busy = true;
    Q_EMIT askingChanged(true);
    const QString code = CourierCatalogue::serviceCode(CourierCatalogue::indexOfName(key.company));
    const QUrl url(TrackingRequest::url(m_host ? m_host() : QString(), code, key.number));
    ++m_sent;
    // Billed when it is sent, whoever asked: an answer that never comes may still be billed.
    const ParcelState* known = m_states.find(key);
    const std::optional<ParcelState> before = known ? std::optional<ParcelState>(*known) : std::nullopt;
    const bool counted = m_states.chargeAsk(key, Clock::now().date());
    if (counted)
        Q_EMIT costChanged();
    m_transport(url, this, [this, key, asker, counted, before](const HttpResult& result) {
        answered(key, asker, counted, before, result);
    });
}

void BookWatch::answered(const ParcelKey& key, ParcelStates::Asker asker, bool counted,
                         const std::optional<ParcelState>& before, const HttpResult& result) {
    m_busy = false;
    Q_EMIT askingChanged(false);
    bool okMinutes = false;
    const int cacheMinutes = result.header("X-Zjx-Cache-Minutes").trimmed().toInt(&okMinutes);
    if (okMinutes && cacheMinutes > 0 && cacheMinutes != m_minimumMinutes) {
        m_minimumMinutes = cacheMinutes;
        m_plan.setInterval(m_minutes, m_minimumMinutes);
        m_plan.replan(m_states, Clock::now());
        Q_EMIT minimumChanged(cacheMinutes);
    }
    const QDateTime now = Clock::now();
    const QString backend = result.ok() ? QString::fromLatin1(result.header("X-Zjx-Backend")).trimmed() : QString();
    const QString billedBefore = m_states.ledger().backend;
    m_states.settleAsk(counted, backend, before ? &*before : nullptr, now.date());
    if (m_states.ledger().backend != billedBefore) {
        // Another back-end bills otherwise: the budget is fitted again.
        fitBudget();
        m_plan.replan(m_states, now);
    }
    Q_EMIT costChanged();
    bool good = false;
    if (result.ok() && result.status < 400) {
        const Screening verdict = screenAnswer(result.body);
        const int rows = TrackingParser::countRows(result.body);
        if (verdict == Screening::Good && rows > 0) {
            const QList<ProgressEntry> entries = TrackingParser::parse(result.body, rows);
            const ProgressEntry& latest = entries.first();
            const Sighting seen{answerState(result.header("X-Zjx-State"), latest.progress),
                                {latest.time, latest.progress},
                                result.header("X-Zjx-Estimated-Delivery")};
            // News found before, from another back-end, is not told in the new one's words.
            if (m_states.fromAnotherSource(key, backend))
                m_batch.drop(key);
            const News found = m_states.observe(key, seen, now, asker, backend);
            good = true;
            m_batch.add(key, found, now);
        } else {
            m_states.fail(key, troubleOf(verdict), now);
        }
    } else {
        m_states.fail(key, troubleFailed, now);
    }
    // The user's ask counts too: the parcel's next one follows from it.
    if (asker == ParcelStates::Asker::Automatic || good)
        m_plan.done(key, good, m_states.value(key).failures, now, m_states.find(key));
    checkStatus();
    QTimer::singleShot(0, this, &BookWatch::wake);
}

} // namespace zjx
