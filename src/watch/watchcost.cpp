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
    Q_UNUSED(now)
    cost.asks = int(std::lround(plan.asksPerDay()));
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

QString cadenceWords(qint64 ms, bool approximate) {
    if (ms >= WatchPlan::never)
        return QStringLiteral("暂停");
    const qint64 minutes = std::max<qint64>(1, (ms + 30000) / 60000);
    const QString about = approximate ? QStringLiteral("约") : QString();
    if (minutes < 60 || (minutes < 180 && minutes % 60 != 0 && !approximate))
        return about + QStringLiteral("每 %1 分钟一次").arg(minutes);
    const qint64 hours = (minutes + 30) / 60;
    if (hours < 24) {
        const QString rounded = minutes % 60 != 0 && !approximate ? QStringLiteral("约") : about;
        return hours == 1 ? rounded + QStringLiteral("每小时一次") : rounded + QStringLiteral("每 %1 小时一次").arg(hours);
    }
    const qint64 days = (hours + 12) / 24;
    return QStringLiteral("约") + (days == 1 ? QStringLiteral("每天一次") : QStringLiteral("每 %1 天一次").arg(days));
}

QString shareLine(const WatchPlan& plan, int limit) {
    if (plan.dailyBudget() <= 0 || !plan.budgetShort())
        return {};
    struct Part {
        QString who;
        QString how;
    };
    static const char16_t* const names[] = {u"派件中", u"运送中", u"久无进展的"};
    QList<Part> parts;
    for (int k = 0; k < WatchPlan::Finished; ++k) {
        const auto kind = WatchPlan::Kind(k);
        if (plan.countOf(kind) > 0)
            parts.append({QString::fromUtf16(names[k]),
                          cadenceWords(plan.cadenceOf(kind), plan.cadenceOf(kind) != plan.plainCadenceOf(kind))});
    }
    // The kinds after the first that are asked alike are told as one: "其余".
    while (parts.size() >= 2 && parts.last().how == parts.at(parts.size() - 2).how) {
        parts.removeLast();
        parts.last().who = QStringLiteral("其余");
    }
    if (parts.size() == 1 || (!parts.isEmpty() && parts.first().who == u"其余"))
        parts.first().who = QStringLiteral("每件快递");
    QStringList words;
    for (const Part& p : parts)
        words << p.who + p.how;
    return QStringLiteral("上限 %1 次:").arg(limit) + words.join(u',');
}

int spentOn(const WatchLedger& ledger, const QDate& day) {
    return ledger.day.isValid() && day <= ledger.day ? ledger.spent : 0;
}

WatchLedger charged(WatchLedger ledger, const QDate& today, int asks) {
    if (!ledger.day.isValid() || today > ledger.day) {
        ledger.day = today;
        ledger.spent = 0;
    }
    ledger.spent = std::max(0, ledger.spent + asks);
    return ledger;
}

bool limitReached(const WatchLedger& ledger, int limit, const QDate& day) {
    return chargingOf(ledger.backend) != Charging::Free && spentOn(ledger, day) >= limit;
}

} // namespace zjx
