#pragma once

#include "watch/news.h"

#include <QString>
#include <QtGlobal>
#include <optional>

namespace zjx {

// Whether an answer shows new progress.
//  - A query the user starts: more entries than the answer before it, and the parcel not yet
//    signed for. Only entry counts are compared, never contents.
//  - An automatic re-query (timed or loop): the news rule against what was last shown or told for
//    that parcel; a delivery is news too.
struct UpdateVerdict {
    bool updated = false;
    bool delivered = false; // the news is that the parcel has just been signed for
    QString text() const { return updated ? QStringLiteral("有更新") : QStringLiteral("无更新"); }

    static UpdateVerdict judge(qint16 lastProgressCount, qint16 progressCount, const QString& parcelState);
    static UpdateVerdict forRequery(const std::optional<Sighting>& known, const Sighting& answer);
};

} // namespace zjx
