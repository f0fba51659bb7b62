#include "schedule/newsnotice.h"

#include "core/textutil.h"

namespace zjx {

NewsNotice NewsNotice::make(const QString& number, const QString& company, const QString& note, const QString& state,
                            const QString& latestTime, const QString& latestProgress, bool delivered) {
    NewsNotice n;
    // The record's own separator cannot occur in a number, so the key is unambiguous.
    n.key = number + u'|' + company;
    // A parcel saved without a note is still told apart by its number.
    // The note and the progress come from the book and the answer: a notice shows a readable start.
    n.summary = readableText(note.isEmpty() ? number : note, 200, 1) + QStringLiteral(" · ") +
                (delivered ? QStringLiteral("已送达") : state);
    n.body = readableText(latestTime.isEmpty() ? latestProgress : latestTime + u'\n' + latestProgress);
    return n;
}

} // namespace zjx
