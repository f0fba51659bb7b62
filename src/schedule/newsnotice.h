#pragma once

#include <QString>

namespace zjx {

// What the desktop is told when a parcel has news: one notice per parcel (its number and company),
// named by the parcel's note and state (or, for a delivery, by the word that it has arrived), with
// the latest event as the body. All plain text.
struct NewsNotice {
    QString key;
    QString summary;
    QString body;

    static NewsNotice make(const QString& number, const QString& company, const QString& note, const QString& state,
                           const QString& latestTime, const QString& latestProgress, bool delivered = false);
};

} // namespace zjx
