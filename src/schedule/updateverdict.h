#pragma once

#include <QString>
#include <QtGlobal>

namespace zjx {

// Whether an answer shows new progress: more entries than the answer before it, and the parcel
// not yet signed for. Only entry counts are compared, never contents.
struct UpdateVerdict {
    bool updated = false;
    QString text() const { return updated ? QStringLiteral("有更新") : QStringLiteral("无更新"); }

    static UpdateVerdict judge(qint16 lastProgressCount, qint16 progressCount, const QString& parcelState);
};

} // namespace zjx
