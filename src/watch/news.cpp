#include "watch/news.h"

namespace zjx {

News judgeNews(const std::optional<Sighting>& known, const Sighting& answer) {
    const bool delivered = answer.state == deliveredState;
    if (!known || known->latest.isEmpty())
        return delivered ? News::Delivered : News::NewEvent;
    // The delivery is told once: a signed-for parcel asked again is only news if its event moved.
    if (delivered && known->state != deliveredState)
        return News::Delivered;
    return known->latest == answer.latest ? News::None : News::NewEvent;
}

} // namespace zjx
