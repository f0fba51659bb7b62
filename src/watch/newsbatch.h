#pragma once

#include "watch/news.h"
#include "watch/parcelkey.h"

#include <QDateTime>
#include <QList>

namespace zjx {

struct ParcelNews {
    ParcelKey key;
    News news = News::None;
    friend bool operator==(const ParcelNews&, const ParcelNews&) = default;
};

// News found close together is told together: the first news opens a short window, and what the
// watch finds until it closes is handed over at once. More than two parcels make one notice.
class NewsBatch {
public:
    static constexpr qint64 windowMs = 60000;
    static constexpr int groupedFrom = 3;

    // A parcel already waiting keeps its place; a delivery outweighs an event.
    void add(const ParcelKey& key, News news, const QDateTime& now);
    // What was found for `key` no longer holds (its knowledge was set aside): it is not told.
    void drop(const ParcelKey& key);
    bool isEmpty() const { return m_waiting.isEmpty(); }
    // When the window closes; invalid when nothing waits.
    QDateTime due() const { return m_due; }
    // The news waiting, once the window has closed; else nothing.
    QList<ParcelNews> takeDue(const QDateTime& now);

private:
    QList<ParcelNews> m_waiting;
    QDateTime m_due;
};

} // namespace zjx
