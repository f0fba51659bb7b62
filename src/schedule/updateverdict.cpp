#include "schedule/updateverdict.h"

namespace zjx {

UpdateVerdict UpdateVerdict::judge(qint16 lastProgressCount, qint16 progressCount, const QString& parcelState) {
    UpdateVerdict v;
    v.updated = lastProgressCount < progressCount && parcelState != QStringLiteral("已签收");
    return v;
}

} // namespace zjx
