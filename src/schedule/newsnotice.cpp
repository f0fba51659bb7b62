#include "schedule/newsnotice.h"

namespace zjx {

NewsNotice NewsNotice::make(const QString& number, const QString& company, const QString& note, const QString& state,
                            const QString& latestTime, const QString& latestProgress) {
    NewsNotice n;
    // The record's own separator cannot occur in a number, so the key is unambiguous.
    n.key = number + u'|' + company;
    // A parcel saved without a note is still told apart by its number.
    n.summary = (note.isEmpty() ? number : note) + QStringLiteral(" · ") + state;
    n.body = latestTime.isEmpty() ? latestProgress : latestTime + u'\n' + latestProgress;
    return n;
}

} // namespace zjx
