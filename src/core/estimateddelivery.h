#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

namespace zjx {

// The tracking service's estimate of when a parcel arrives, from its X-Zjx-Estimated-Delivery
// header: "YYYY-MM-DD" or a range "YYYY-MM-DD/YYYY-MM-DD" (dates in China).
struct EstimatedDelivery {
    QDate from;
    QDate to; // equal to `from` for a single day

    bool isValid() const { return from.isValid() && to.isValid(); }
    // nullopt-like: an invalid estimate for a missing or malformed header.
    static EstimatedDelivery fromHeader(const QByteArray& header);
};

// What the program shows of an estimate beside the parcel's state, on `today`: "预计送达 12月9日",
// "预计送达 12月9日-12月11日" ("预计送达 2027年1月3日" for a day of another year), "已超过预计送达"
// once the last day has passed on an undelivered parcel; nothing for a delivered parcel, without an
// estimate, or for one that ends more than a year after `today`.
QString estimatedDeliveryText(const QByteArray& header, const QDate& today, bool delivered);

} // namespace zjx
