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

// The daily limit of billed asks: nothing more is asked that day once it is reached.
constexpr int defaultDailyLimit = 500;
int spentOn(const WatchLedger& ledger, const QDate& day);
bool limitReached(const WatchLedger& ledger, int limit, const QDate& day);

} // namespace zjx
