#include "background/traystatus.h"

#include "watch/bookwatch.h"
#include "watch/parcelstates.h"
#include "watch/watchplan.h"

namespace zjx {

QString WatchSummary::toolTip() const {
    const QString news = unread > 0 ? QStringLiteral("%1 件有新进展").arg(unread) : QString();
    QString pause;
    if (stoppedForToday)
        pause = QStringLiteral("今日查询已达上限");
    else if (quietUntil)
        pause = QStringLiteral("夜间暂停,%1 继续").arg(quietUntil->toString(QStringLiteral("HH:mm")));
    // While paused the news waiting to be opened still counts, on a line of its own.
    if (!pause.isEmpty())
        return news.isEmpty() ? pause : pause + u'\n' + news;
    const QString tracking = QStringLiteral("正在跟踪 %1 件快递").arg(tracked);
    return news.isEmpty() ? tracking : tracking + u',' + news;
}

QString WatchSummary::badge(int unread) {
    if (unread <= 0)
        return {};
    return unread > 99 ? QStringLiteral("99+") : QString::number(unread);
}

WatchSummary WatchSummary::of(const QList<ParcelKey>& book, const ParcelStates& states, const BookWatch& watch,
                              const QDateTime& now) {
    WatchSummary summary;
    for (const ParcelKey& key : book) {
        const ParcelState* state = states.find(key);
        if (WatchPlan::wanted(state))
            ++summary.tracked;
        if (state && state->unseen)
            ++summary.unread;
    }
    summary.stoppedForToday = watch.stoppedForToday();
    if (const std::optional<QDateTime> end = watch.plan().quietUntil(now))
        summary.quietUntil = end->time();
    return summary;
}

} // namespace zjx
