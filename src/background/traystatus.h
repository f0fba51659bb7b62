#pragma once

#include "watch/parcelkey.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>
#include <optional>

namespace zjx {

class BookWatch;
class ParcelStates;

// What the watch is doing, as the tray icon tells it.
struct WatchSummary {
    int tracked = 0;                 // parcels of the book the watch still asks about (not signed for)
    int unread = 0;                  // parcels of the book with news the user has not opened
    bool stoppedForToday = false;    // the day's limit of charged asks is reached
    std::optional<QTime> quietUntil; // the night's pause and when it ends

    friend bool operator==(const WatchSummary&, const WatchSummary&) = default;

    // "正在跟踪 37 件快递,3 件有新进展"; "夜间暂停,07:00 继续"; "今日查询已达上限".
    QString toolTip() const;
    // The count drawn on the icon: empty without unread news, "99+" past two digits.
    static QString badge(int unread);

    // The summary of the watch over `book` (the book's parcels) at `now`.
    static WatchSummary of(const QList<ParcelKey>& book, const ParcelStates& states, const BookWatch& watch,
                           const QDateTime& now);
};

} // namespace zjx
