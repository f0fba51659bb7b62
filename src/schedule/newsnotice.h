#pragma once

#include <QString>
#include <QStringList>

namespace zjx {

// What the desktop is told when a parcel has news: one notice per parcel (its number and company),
// named by the parcel's note and state (or, for a delivery, by the word that it has arrived), with
// the pickup code, the latest event and the estimated delivery ("预计送达 12月9日") as the body. All
// plain text.
struct NewsNotice {
    QString key;
    QString summary;
    QString body;

    static NewsNotice make(const QString& number, const QString& company, const QString& note, const QString& state,
                           const QString& latestTime, const QString& latestProgress, bool delivered = false,
                           const QString& pickupCode = {}, const QString& estimate = {});
    // Several parcels' news in one notice ("3 件快递有新进展"), a line per parcel: their summaries.
    static NewsNotice grouped(const QStringList& summaries);
    // The key of the grouped notice: no parcel's key can be it (a parcel's starts with its number).
    static QString groupedKey() { return QStringLiteral("|grouped"); }
};

} // namespace zjx
