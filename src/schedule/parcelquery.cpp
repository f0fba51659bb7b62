#include "schedule/parcelquery.h"

#include "book/bookkeeper.h"
#include "book/parcelrecord.h"
#include "watch/pickupcode.h"
#include "core/estimateddelivery.h"
#include "core/textcodec.h"
#include "core/trackingrequest.h"
#include "platform/environment.h"
#include "platform/httpclient.h"
#include "serviceconfig/serviceconfig.h"
#include "watch/parcelstates.h"

#include <algorithm>
#include <utility>

namespace zjx {

ParcelQuery::ParcelQuery(BookKeeper& keeper, ParcelStates& states, QObject* parent)
    : QObject(parent), m_keeper(keeper), m_states(states) {
    m_parseTimer.setInterval(100);
    connect(&m_parseTimer, &QTimer::timeout, this, &ParcelQuery::parse);
}

bool ParcelQuery::inFlight() const {
    return HttpClient::instance().isWaiting() || m_session.inFlight();
}

bool ParcelQuery::begin() {
    // A timer tick that falls into the wait of a request must not send a second one.
    if (HttpClient::instance().isWaiting())
        return false;
    // A parse still pending belongs to an answer this query replaces; left armed it would cut the
    // new answer with the old row count.
    m_parseTimer.stop();
    m_session.begin();
    m_doneHint.clear();
    return true;
}

void ParcelQuery::request(const QString& number, const QString& shownCompany) {
    Q_EMIT hint(shownCompany + QStringLiteral("快递查询中..."));
    m_estimateText.clear();
    Q_EMIT estimateShown(QString()); // the parcel asked now has its own, if any
    m_askedNumber = number;
    m_askedCompany = shownCompany;
    const QUrl url(TrackingRequest::url(m_hooks.trackingHost(), m_companyCode, number));
    m_session.requestStarted();
    // Billed when sent, as the watch's own asks are: the day's limit counts every ask.
    const ParcelKey key{number, shownCompany};
    const ParcelState* known = m_states.find(key);
    const std::optional<ParcelState> before = known ? std::optional<ParcelState>(*known) : std::nullopt;
    const bool counted = m_states.chargeAsk(key, Clock::now().date());
    const HttpResult result = HttpClient::instance().getBlocking(url, codec::gbkServerBody);
    readServiceHeaders(result);
    m_states.settleAsk(counted, m_answerBackend, before ? &*before : nullptr, Clock::now().date());
    if (result.ok() && result.status < 400)
        m_session.answer(result.body);
    else if (const QString reason = faultHintOf(result); result.ok() && !reason.isEmpty())
        m_session.fail(reason);
    else if (result.ok())
        // An error page is no answer about the parcel: screened, it would pass as a good one and
        // record the parcel with an empty progress list.
        m_session.fail(QStringLiteral("服务器返回错误(HTTP %1),请稍后重试!").arg(result.status));
    else
        m_session.fail(result.errorText.isEmpty() ? HttpClient::failureText(HttpResult::Failure::Other)
                                                  : result.errorText);
}

QString ParcelQuery::faultHintOf(const HttpResult& result) {
    m_faultWord = QString::fromLatin1(result.header("X-Zjx-Reason"));
    QString tail;
    if (m_faultWord == u"phone-tail" && !Settings::trackingHostConfigured()) {
        ServiceConfigFile file;
        file.load(ServiceConfigFile::defaultPath());
        tail = file.settings().phoneTail;
    }
    m_faultHint = reasonHint(m_faultWord, tail);
    return m_faultHint;
}

void ParcelQuery::clearList() {
    Q_EMIT listCleared();
    m_listedParcel.clear();
}

void ParcelQuery::readServiceHeaders(const HttpResult& result) {
    m_answerState = result.ok() ? result.header("X-Zjx-State") : QByteArray();
    m_answerBackend = result.ok() ? QString::fromLatin1(result.header("X-Zjx-Backend")).trimmed() : QString();
    if (!result.ok())
        return;
    m_answerEstimate = result.status < 400 ? result.header("X-Zjx-Estimated-Delivery") : QByteArray();
    Q_EMIT dataSource(QString::fromLatin1(result.header("X-Zjx-Backend")));
    if (result.status < 400)
        if (const QByteArray fetched = result.header("X-Zjx-Fetched"); !fetched.isEmpty())
            m_doneHint = staleHint(QString::fromLatin1(fetched));
}

// Ends the query for every answer but a good one. `fromAddPanel`: the parcel is the add panel's,
// which the no-record path may save; a re-query's parcel is listed already.
bool ParcelQuery::screen(bool fromAddPanel, const QString& number, const QString& company, const QString& note) {
    // No answer because the transfer failed: end like an empty answer, but say why.
    if (!m_session.transferError.isEmpty()) {
        Q_EMIT hint(m_session.transferError);
        Q_EMIT queryEnabled(true);
        return false;
    }
    const Screening verdict = screenAnswer(m_session.answerText);
    switch (verdict) {
    case Screening::Good:
        return true;
    case Screening::Empty:
        break;
    case Screening::NotFound:
        if (!m_hooks.confirm(QStringLiteral("您好,您当前输入的单号不存在有效信息,是否先进行保存?")))
            break;
        if (!fromAddPanel) {
            Q_EMIT hint(QStringLiteral("该单号已在快递列表中,无需保存"));
            break;
        }
        // Only what reached the file is confirmed; after a failed write the book in memory, which
        // holds the parcel, must not be replaced by the file's older contents.
        {
            const BookKeeper::Recorded recorded = m_keeper.record(number, company, note);
            if (recorded == BookKeeper::Recorded::Saved)
                m_keeper.reload();
            m_keeper.chooseListed(number, company);
            // The parcel on screen is the new one, which has no events: its state says why.
            showAnotherParcel(ParcelRecord::build(number, company, {}));
            Q_EMIT stateShown(troubleNoRecord);
            if (recorded == BookKeeper::Recorded::Saved)
                m_hooks.inform(QStringLiteral("单号已成功保存"));
        }
        break;
    case Screening::FormatError:
    case Screening::Expired:
    case Screening::Unsupported:
    case Screening::EnterNumber:
        Q_EMIT hint(screeningHint(verdict));
        break;
    }
    Q_EMIT queryEnabled(true);
    return false;
}

bool ParcelQuery::askNew(const QString& number, const QString& company, const QString& note) {
    begin();
    m_askedAutomatically = false;
    Q_EMIT queryEnabled(false);
    request(number, company);
    if (!screen(true, number, company, note)) {
        m_session.finish();
        return false;
    }
    m_session.rowCount = 0;
    // The parse ends with its own hint: one about a parcel listed already must outlast it.
    if (m_keeper.record(number, company, note) == BookKeeper::Recorded::AlreadyListed)
        m_doneHint = QStringLiteral("查询完毕...该单号已在快递列表中,未重复保存");
    // The events shown are this parcel's: "操作" and "删除" must act on it, not on the one chosen before.
    m_keeper.chooseListed(number, company);
    parseLater();
    return true;
}

void ParcelQuery::askAgain(const QString& number, const QString& company, bool automatic) {
    if (!begin())
        return;
    m_askedAutomatically = automatic;
    Q_EMIT queryEnabled(false);
    // Another parcel chosen: its list starts empty, its state and verdict unknown. The same parcel
    // asked again keeps its list until a good answer replaces it.
    const QString parcel = ParcelRecord::build(number, company, {});
    const bool another = m_listedParcel != parcel;
    if (another)
        showAnotherParcel(parcel);
    request(number, company);
    if (!screen(false, number, company, QString())) {
        // The empty list is this parcel's: its state says why, not what the parcel before it had.
        if (another)
            Q_EMIT stateShown(troubleOfAnswer());
        m_session.finish();
        return;
    }
    // A re-query of a listed parcel never adds a record.
    parseLater();
}

void ParcelQuery::showAnotherParcel(const QString& listed) {
    clearList();
    m_listedParcel = listed; // shown, with no events yet
    showState(notAskedState);
    Q_EMIT parcelSwitched();
}

QString ParcelQuery::troubleOfAnswer() const {
    return m_session.transferError.isEmpty() ? troubleOf(screenAnswer(m_session.answerText)) : troubleFailed;
}

void ParcelQuery::parseLater() {
    // The list gives way only to a good answer: a failed query changes nothing but the hint line.
    clearList();
    m_listedParcel = ParcelRecord::build(m_askedNumber, m_askedCompany, {});
    const int found = TrackingParser::countRows(m_session.answerText);
    m_session.rowCount = qint16(std::min(int(m_session.rowCount) + found, TrackingParser::maxRows));
    if (found > 0) {
        m_session.parseDue();
        m_parseTimer.start();
    } else {
        Q_EMIT queryEnabled(true);
        m_session.finish();
    }
}

void ParcelQuery::parse() {
    const QList<ProgressEntry> entries = TrackingParser::parse(m_session.answerText, m_session.rowCount);
    m_session.rowCount = 0;
    Q_EMIT rowsParsed(entries);
    m_parseTimer.stop();
    m_session.markParsed();
    m_session.reset();
    lastProgressCount = progressCount;
    // The list was emptied when the query began: it holds these rows now.
    progressCount = qint16(std::min(int(entries.size()), TrackingParser::maxRows));
    Q_EMIT hint(m_doneHint.isEmpty() ? QStringLiteral("查询完毕...") : std::exchange(m_doneHint, QString()));
    Q_EMIT queryEnabled(true);
    const LatestEvent latest = entries.isEmpty() ? LatestEvent{} : LatestEvent{entries.first().time, entries.first().progress};
    if (!entries.isEmpty())
        // The provider's own state when the service sent it ("待取件", "已退回" ...), else the text rule.
        showState(answerState(m_answerState, latest.progress));
    m_estimateText = estimatedDeliveryText(m_answerEstimate, Clock::now().date(), m_shownState == deliveredState);
    Q_EMIT estimateShown(m_estimateText);
    judge(latest);
    m_session.finish();
}

void ParcelQuery::showState(const QString& state) {
    m_shownState = state;
    Q_EMIT stateShown(state);
}

UpdateVerdict ParcelQuery::judge(const LatestEvent& latest) {
    const Sighting shown{m_shownState, latest, m_answerEstimate};
    const ParcelKey key{m_askedNumber, m_askedCompany};
    // The user who is looking at the window sees the verdict; only news found while the window is
    // buried, minimised or hidden goes to the desktop.
    const bool away = m_hooks.userAway && m_hooks.userAway();
    UpdateVerdict verdict;
    if (m_askedAutomatically) {
        const ParcelState* known = m_states.find(key);
        verdict = UpdateVerdict::forRequery(known ? known->sighting() : std::nullopt, shown);
        // The news is told here; whoever asks about this parcel next compares with it.
        (void)m_states.observe(key, shown, Clock::now(), ParcelStates::Asker::Automatic, m_answerBackend);
        if (!away)
            m_states.markSeen(key);
    } else {
        verdict = UpdateVerdict::judge(lastProgressCount, progressCount, shown.state);
        (void)m_states.observe(key, shown, Clock::now(), ParcelStates::Asker::User, m_answerBackend);
    }
    Q_EMIT judged(verdict);
    // A query the user started is looked at: the desktop is told nothing of it.
    if (verdict.updated && m_askedAutomatically && away)
        Q_EMIT news(NewsNotice::make(m_askedNumber, m_askedCompany, m_keeper.noteOf(m_askedNumber, m_askedCompany),
                                     m_shownState, latest.time, latest.progress, verdict.delivered,
                                     m_shownState == deliveredState ? QString() : findPickupCode(latest.progress),
                                     m_estimateText));
    return verdict;
}

} // namespace zjx
