#pragma once

#include "trackingpages.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <list>
#include <optional>

namespace zjx::gateway {

// The last good answer per parcel, least recently used first out, so memory stays bounded however
// many numbers are asked for and however large a provider makes its pages: both the number of
// entries and their bytes are capped. An entry is fresh until its lifetime ends; after that it is
// only served when the provider fails.
class ParcelCache {
public:
    explicit ParcelCache(int capacity, qint64 maxBytes = 64ll * 1024 * 1024)
        : m_capacity(capacity > 0 ? capacity : 1), m_maxBytes(maxBytes) {}

    struct Hit {
        zjx::service::Reply reply;
        bool fresh = false;
        QDateTime fetched; // when the provider gave this answer
    };
    std::optional<Hit> find(const QString& key, qint64 nowMs);
    // An answer larger than the whole byte bound is not kept at all. `fetched`: when it was given.
    void store(const QString& key, const zjx::service::Reply& reply, qint64 freshUntilMs,
               const QDateTime& fetched = QDateTime::currentDateTime());

    int size() const { return int(m_index.size()); }
    int capacity() const { return m_capacity; }
    qint64 bytes() const { return m_bytes; }

private:
    struct Entry {
        QString key;
        zjx::service::Reply reply;
        qint64 freshUntilMs = 0;
        QDateTime fetched;
    };
    static qint64 weight(const Entry& e);

    const int m_capacity;
    const qint64 m_maxBytes;
    qint64 m_bytes = 0;       // weight of every entry kept
    std::list<Entry> m_order; // most recently used first
    QHash<QString, std::list<Entry>::iterator> m_index;
};

} // namespace zjx::gateway
