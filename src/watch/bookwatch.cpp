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
}

void BookWatch::setParcels(const QList<ParcelKey>& parcels) {
    m_parcels = parcels;
    if (m_enabled)
        m_plan.setParcels(parcels, Clock::now());
    planNextWake();
    Q_EMIT costChanged();
}

void BookWatch::setEnabled(bool on) {
    if (on == m_enabled)
        return;
    m_enabled = on;
    if (on) {
        m_plan.setInterval(m_minutes, m_minimumMinutes);
        m_plan.setParcels(m_parcels, Clock::now());
    } else {
        m_plan.stop();
    }
    planNextWake();
    Q_EMIT costChanged();
}

void BookWatch::setMinutes(int minutes) {
    m_minutes = std::max(minutes, 1);
    m_plan.setInterval(m_minutes, m_minimumMinutes, Clock::now());
    planNextWake();
    Q_EMIT costChanged();
}

void BookWatch::setQuietHours(const QTime& from, const QTime& to) {
    m_plan.setQuietHours(from, to);
    planNextWake();
    Q_EMIT costChanged();
}

void BookWatch::setDailyLimit(int limit) {
    m_dailyLimit = std::max(limit, 1);
    planNextWake();
    Q_EMIT costChanged();
}

bool BookWatch::stoppedForToday() const {
    return m_enabled && limitReached(m_states.ledger(), m_dailyLimit, Clock::now().date());
}

WatchCost BookWatch::cost() const {
    const QDateTime now = Clock::now();
    if (m_enabled)
        return estimateCost(m_plan, m_states, m_states.ledger().backend, now);
    // Switched off: what switching on would cost.
    WatchPlan would = m_plan;
    would.setInterval(m_minutes, m_minimumMinutes);
    would.setParcels(m_parcels, now);
    return estimateCost(would, m_states, m_states.ledger().backend, now);
}

void BookWatch::askNow(const QList<ParcelKey>& parcels) {
    for (const ParcelKey& key : parcels)
        if (!m_userAsks.contains(key))
            m_userAsks.append(key);
    QTimer::singleShot(0, this, &BookWatch::wake);
}

void BookWatch::wake() {
    const QDateTime now = Clock::now();
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
        next = std::max(next, QDateTime(now.date().addDays(1), QTime(0, 0)));
    if (!m_batch.isEmpty() && (!next.isValid() || m_batch.due() < next))
        next = m_batch.due();
    if (!next.isValid()) {
        m_timer.stop();
        return;
    }
    // Woken at least once a minute, so a clock that jumps (a suspended laptop) is noticed soon.
    const qint64 wait = std::clamp(now.msecsTo(next), qint64(0), qint64(60000));
    m_timer.start(int(wait));
}

void BookWatch::ask(const ParcelKey& key, ParcelStates::Asker asker) {
    m_busy = true;
    Q_EMIT askingChanged(true);
    const QString code = CourierCatalogue::serviceCode(CourierCatalogue::indexOfName(key.company));
    const QUrl url(TrackingRequest::url(m_host ? m_host() : QString(), code, key.number));
    ++m_sent;
    HttpClient::instance().getResponsive(
        url, this, [this, key, asker](const HttpResult& result) { answered(key, asker, result); },
        codec::gbkServerBody);
}

void BookWatch::answered(const ParcelKey& key, ParcelStates::Asker asker, const HttpResult& result) {
    m_busy = false;
    Q_EMIT askingChanged(false);
    bool okMinutes = false;
    const int cacheMinutes = result.header("X-Zjx-Cache-Minutes").trimmed().toInt(&okMinutes);
    if (okMinutes && cacheMinutes > 0 && cacheMinutes != m_minimumMinutes) {
        m_minimumMinutes = cacheMinutes;
        m_plan.setInterval(m_minutes, m_minimumMinutes, Clock::now());
        Q_EMIT minimumChanged(cacheMinutes);
    }
    const QDateTime now = Clock::now();
    const QString backend = result.ok() ? QString::fromLatin1(result.header("X-Zjx-Backend")).trimmed() : QString();
    if (!backend.isEmpty() && asker == ParcelStates::Asker::Automatic) {
        WatchLedger ledger = m_states.ledger();
        if (ledger.day != now.date())
            ledger = {backend, now.date(), 0};
        ledger.backend = backend;
        ledger.spent += isCharged(backend, m_states.find(key)) ? 1 : 0;
        m_states.setLedger(ledger);
        Q_EMIT costChanged();
    }
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
    if (asker == ParcelStates::Asker::Automatic)
        m_plan.done(key, good, m_states.value(key).failures, now, m_states.find(key));
    QTimer::singleShot(0, this, &BookWatch::wake);
}

} // namespace zjx
