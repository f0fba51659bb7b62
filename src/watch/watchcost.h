#pragma once

#include "watch/parcelstates.h"

#include <QDate>
#include <QString>

namespace zjx {

class WatchPlan;

// How a tracking back-end bills the asks (from the providers' own documentation):
//  - kuaidi100's real-time query and kdniao's instant query: every query;
//  - 17TRACK: each number once, when it is registered; asking a registered number again is free;
//  - the demo and a service that does not name its back-end: nothing we know of.
enum class Charging { Free, PerQuery, PerNumber };
Charging chargingOf(const QString& backend);

// Whether an ask answered by `backend` is billed, for a parcel known as `before`.
bool isCharged(const QString& backend, const ParcelState* before);

// What a day of the watch costs with this plan, book and back-end.
struct WatchCost {
    int asks = 0;    // the asks the watch makes
    int charged = 0; // the ones the back-end bills
};
WatchCost estimateCost(const WatchPlan& plan, const ParcelStates& states, const QString& backend, const QDateTime& now);

// "约 N 次查询/天" with what it counts; `caption` names the back-end ("快递100").
QString costLine(const WatchCost& cost, const QString& backend, const QString& caption);

// How often the budget lets each kind of parcel be asked, when the limit cannot serve them all at
// their interval: "上限 500 次:派件中每小时一次,其余约每 6 小时一次". Empty when it can.
QString shareLine(const WatchPlan& plan, int limit);
// "每小时一次", "每 20 分钟一次", "约每 6 小时一次" ...; "暂停" for a cadence the budget leaves out.
QString cadenceWords(qint64 ms, bool approximate);

// The daily limit of billed asks: nothing more is asked that day once it is reached. The day of
// the count never moves backwards: a clock set back (or another time zone) goes on counting the
// day already begun.
constexpr int defaultDailyLimit = 500;
int spentOn(const WatchLedger& ledger, const QDate& day);
bool limitReached(const WatchLedger& ledger, int limit, const QDate& day);
// The ledger with `asks` more billed on `today` (fewer when negative, never below nothing).
WatchLedger charged(WatchLedger ledger, const QDate& today, int asks);

} // namespace zjx
