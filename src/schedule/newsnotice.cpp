#include "schedule/newsnotice.h"

#include "core/textutil.h"

namespace zjx {

NewsNotice NewsNotice::make(const QString& number, const QString& company, const QString& note, const QString& state,
                            const QString& latestTime, const QString& latestProgress, bool delivered,
                            const QString& pickupCode, const QString& estimate) {
    NewsNotice n;
    // The record's own separator cannot occur in a number, so the key is unambiguous.
    n.key = number + u'|' + company;
    // A parcel saved without a note is still told apart by its number.
    // The note and the progress come from the book and the answer: a notice shows a readable start.
    n.summary = readableText(note.isEmpty() ? number : note, 200, 1) + QStringLiteral(" · ") +
                (delivered ? QStringLiteral("已送达") : state);
    n.body = readableText(latestTime.isEmpty() ? latestProgress : latestTime + u'\n' + latestProgress);
    // The code is what the user needs at the locker: it comes first.
    if (!pickupCode.isEmpty())
        n.body = QStringLiteral("取件码 ") + pickupCode + u'\n' + n.body;
    if (!estimate.isEmpty() && !delivered)
        n.body += u'\n' + estimate;
    return n;
}

NewsNotice NewsNotice::grouped(const QStringList& summaries) {
    NewsNotice n;
    n.key = groupedKey();
    n.summary = QStringLiteral("%1 件快递有新进展").arg(summaries.size());
    n.body = summaries.join(u'\n');
    return n;
}

} // namespace zjx
