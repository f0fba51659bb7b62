#include "parcelcache.h"

namespace zjx::gateway {

qint64 ParcelCache::weight(const Entry& e) {
    // The page, the key twice (list and index) and a rough allowance for the nodes themselves.
    return e.reply.body.size() + 4 * e.key.size() + qint64(e.reply.contentType.size()) + 128;
}

std::optional<ParcelCache::Hit> ParcelCache::find(const QString& key, qint64 nowMs) {
    const auto it = m_index.constFind(key);
    if (it == m_index.constEnd())
        return std::nullopt;
    m_order.splice(m_order.begin(), m_order, it.value());
    const Entry& e = *it.value();
    return Hit{e.reply, nowMs < e.freshUntilMs, e.fetched};
}

void ParcelCache::store(const QString& key, const zjx::service::Reply& reply, qint64 freshUntilMs,
                        const QDateTime& fetched) {
    if (const auto it = m_index.constFind(key); it != m_index.constEnd()) {
        m_bytes -= weight(*it.value());
        m_order.erase(it.value());
        m_index.remove(key);
    }
    m_order.push_front(Entry{key, reply, freshUntilMs, fetched});
    m_index.insert(key, m_order.begin());
    m_bytes += weight(m_order.front());
    while (!m_order.empty() && (int(m_index.size()) > m_capacity || m_bytes > m_maxBytes)) {
        m_bytes -= weight(m_order.back());
        m_index.remove(m_order.back().key);
        m_order.pop_back();
    }
}

} // namespace zjx::gateway
