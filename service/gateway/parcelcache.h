#pragma once

#include "trackingpages.h"

#include <QDateTime>
#include <QHash>
#include <QString>

#include <list>
#include <optional>

namespace zjx::gateway {

// The last good answer per parcel, least recently used first out, so memory stays bounded however
// many numbers are asked for. An entry is fresh until its lifetime ends; after that it is only
// served when the provider fails.
class ParcelCache {
public:
    explicit ParcelCache(int capacity) : m_capacity(capacity > 0 ? capacity : 1) {}

    struct Hit {
        zjx::service::Reply reply;
        bool fresh = false;
        QDateTime fetched; // when the provider gave this answer
    };
    std::optional<Hit> find(const QString& key, qint64 nowMs);
    void store(const QString& key, const zjx::service::Reply& reply, qint64 freshUntilMs);

    int size() const { return int(m_index.size()); }
    int capacity() const { return m_capacity; }

private:
    struct Entry {
        QString key;
        zjx::service::Reply reply;
        qint64 freshUntilMs = 0;
        QDateTime fetched;
    };
    const int m_capacity;
    std::list<Entry> m_order; // most recently used first
    QHash<QString, std::list<Entry>::iterator> m_index;
};

} // namespace zjx::gateway
