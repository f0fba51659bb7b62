#include "watch/newsbatch.h"

#include <utility>

namespace zjx {

void NewsBatch::add(const ParcelKey& key, News news, const QDateTime& now) {
    if (news == News::None)
        return;
    if (m_waiting.isEmpty())
        m_due = now.addMSecs(windowMs);
    for (ParcelNews& waiting : m_waiting)
        if (waiting.key == key) {
            if (news == News::Delivered)
                waiting.news = news;
            return;
        }
    m_waiting.append({key, news});
}

void NewsBatch::drop(const ParcelKey& key) {
    m_waiting.removeIf([&key](const ParcelNews& n) { return n.key == key; });
    if (m_waiting.isEmpty())
        m_due = {};
}

QList<ParcelNews> NewsBatch::takeDue(const QDateTime& now) {
    if (m_waiting.isEmpty() || now < m_due)
        return {};
    m_due = {};
    return std::exchange(m_waiting, {});
}

} // namespace zjx
