#include "schedule/updateverdict.h"

namespace zjx {

UpdateVerdict UpdateVerdict::judge(qint16 lastProgressCount, qint16 progressCount, const QString& parcelState) {
    UpdateVerdict v;
    v.updated = lastProgressCount < progressCount && parcelState != deliveredState;
    return v;
}

UpdateVerdict UpdateVerdict::forRequery(const std::optional<Sighting>& known, const Sighting& answer) {
    const News news = judgeNews(known, answer);
    UpdateVerdict v;
    v.updated = news != News::None;
    v.delivered = news == News::Delivered;
    return v;
}

} // namespace zjx
