#include "watch/watchcost.h"

#include "watch/watchplan.h"

#include <cmath>

namespace zjx {

Charging chargingOf(const QString& backend) {
    if (backend == u"kuaidi100" || backend == u"kdniao")
        return Charging::PerQuery;
    if (backend == u"17track")
        return Charging::PerNumber;
    return Charging::Free;
}

bool isCharged(const QString& backend, const ParcelState* before) {
    switch (chargingOf(backend)) {
    case Charging::PerQuery:
        return true;
    case Charging::PerNumber:
        // Registered once this back-end has answered for the parcel.
        return !before || before->source != backend;
    case Charging::Free:
        break;
    }
    return false;
}

WatchCost estimateCost(const WatchPlan& plan, const ParcelStates& states, const QString& backend,
                       const QDateTime& now) {
    WatchCost cost;
    cost.asks = int(std::lround(plan.asksPerDay(states, now)));
    switch (chargingOf(backend)) {
    case Charging::PerQuery:
        cost.charged = cost.asks;
        break;
    case Charging::PerNumber:
        for (const ParcelKey& key : plan.parcels())
            if (const ParcelState* s = states.find(key); WatchPlan::wanted(s) && isCharged(backend, s))
                ++cost.charged;
        break;
    case Charging::Free:
        break;
    }
    return cost;
}

QString costLine(const WatchCost& cost, const QString& backend, const QString& caption) {
    const QString asks = QStringLiteral("约 %1 次查询/天");
    switch (chargingOf(backend)) {
    case Charging::PerQuery:
        return asks.arg(cost.charged) + QStringLiteral("(%1 按次计费)").arg(caption);
    case Charging::PerNumber:
        return asks.arg(cost.charged) +
               QStringLiteral("(%1 按单号计费,已登记的单号再查不计费;共查 %2 次)").arg(caption).arg(cost.asks);
    case Charging::Free:
        break;
    }
    return asks.arg(cost.asks) + (backend == u"demo" ? QStringLiteral("(演示数据,不计费)") : QString());
}

int spentOn(const WatchLedger& ledger, const QDate& day) {
    return ledger.day == day ? ledger.spent : 0;
}

bool limitReached(const WatchLedger& ledger, int limit, const QDate& day) {
    return chargingOf(ledger.backend) != Charging::Free && spentOn(ledger, day) >= limit;
}

} // namespace zjx
