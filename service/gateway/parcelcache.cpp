#include "parcelcache.h"

namespace zjx::gateway {

std::optional<ParcelCache::Hit> ParcelCache::find(const QString& key, qint64 nowMs) {
    const auto it = m_index.constFind(key);
    if (it == m_index.constEnd())
        return std::nullopt;
    m_order.splice(m_order.begin(), m_order, it.value());
    const Entry& e = *it.value();
    return Hit{e.reply, nowMs < e.freshUntilMs, e.fetched};
}

void ParcelCache::store(const QString& key, const zjx::service::Reply& reply, qint64 freshUntilMs) {
    if (const auto it = m_index.constFind(key); it != m_index.constEnd()) {
        it.value()->reply = reply;
        it.value()->freshUntilMs = freshUntilMs;
        it.value()->fetched = QDateTime::currentDateTime();
        m_order.splice(m_order.begin(), m_order, it.value());
        return;
    }
    m_order.push_front(Entry{key, reply, freshUntilMs, QDateTime::currentDateTime()});
    m_index.insert(key, m_order.begin());
    while (int(m_index.size()) > m_capacity) {
        m_index.remove(m_order.back().key);
        m_order.pop_back();
    }
}

} // namespace zjx::gateway
