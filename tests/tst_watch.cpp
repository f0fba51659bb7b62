// The per-parcel knowledge and its news, the watch plan and its budget under a fake clock, the
// watch's database and the older state file it takes in, and the overview's filter and sort.
#include "watch/newsbatch.h"
#include "watch/overviewmodel.h"
#include "watch/parcelstates.h"
#include "watch/pickupcode.h"
#include "watch/statefile.h"
#include "watch/watchcost.h"
#include "watch/watchplan.h"
#include "watch/watchstore.h"

#include "support/datarows.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace zjx;
using zjx::test::addRows;

namespace {

const QDateTime start(QDate(2026, 12, 7), QTime(8, 0));
ParcelKey key(const QString& number) {
    return {number, QStringLiteral("申通快递")};
}

// Every field of a parcel's knowledge, to compare what was written with what is read back.
QString summary(const ParcelState& s) {
    return QStringList{s.state, s.latest.time, s.latest.progress, QString::number(s.askedAt.toMSecsSinceEpoch()),
                       s.askedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")), s.trouble,
                       QString::number(s.unseen), QString::number(s.failures), QString::number(s.deliveredAnswers),
                       s.source, QString::fromLatin1(s.estimate)}
        .join(u'|');
}

int rowsIn(const QString& path) {
    const QString name = QStringLiteral("count");
    int rows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QSqlQuery q(db);
        if (db.open() && q.exec(QStringLiteral("SELECT count(*) FROM parcel")) && q.next())
            rows = q.value(0).toInt();
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

} // namespace

class TestWatch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void newsIsToldOnce_data();
    void newsIsToldOnce();
    void plan_data();
    void plan();
    void oneAskAtATime();
    void planKeepsEachParcelsPlace_data();
    void planKeepsEachParcelsPlace();
    void goodAnswerAndOverviewCells();
    void costOfADay_data();
    void costOfADay();
    void planRemembers_data();
    void planRemembers();
    void budgetGoesWhereNewsIsLikely_data();
    void budgetGoesWhereNewsIsLikely();
    void newsCloseTogetherIsToldTogether();
    void providerStates_data();
    void providerStates();
    void pickupCode_data();
    void pickupCode();
    void stateFileSample();
    void damagedStateFileIsKeptAside_data();
    void damagedStateFileIsKeptAside();
    void storeWritesRowByRow();
    void damagedStoreIsSetAside_data();
    void damagedStoreIsSetAside();
    void stateFileIsImportedOnce();
    void overviewFilterAndSort_data();
    void overviewFilterAndSort();
    void overviewEstimate_data();
    void overviewEstimate();
};

// Steps "U state day [back-end]" (the user's query), "A state day [back-end]" (an automatic one),
// "F" (no answer); the event is "<state> 上海" at 10:00 of that December day. Expected: the news
// per step ("-" none, "N" a new event, "D" a delivery), the state kept and whether it is unseen.
using NewsRow = std::tuple<const char*, QStringList, QString, QString, bool>;

void TestWatch::newsIsToldOnce_data() {
    const NewsRow rows[] = {
        {"a first answer is learnt silently", QStringList{"A 运送中 1", "A 运送中 1"}, "--", "运送中", false},
        {"the user's view is known", QStringList{"U 运送中 1", "A 运送中 1"}, "--", "运送中", false},
        {"event, delivery, delivery again", QStringList{"U 运送中 1", "A 派件中 2", "A 已签收 3", "A 已签收 3"}, "-ND-",
         "已签收", true},
        {"opened by the user", QStringList{"A 运送中 1", "A 派件中 2", "U 派件中 2", "A 派件中 2"}, "-N--", "派件中",
         false},
        {"a failure forgets nothing",
         QStringList{"U 派件中 1", "F", "A 派件中 1", "F", "A 已签收 2", "F", "A 已签收 2"}, "----D--", "已签收", true},
        {"an older history changes nothing", QStringList{"A 派件中 3", "A 运送中 2", "A 运送中 1", "A 派件中 3"},
         "----", "派件中", false},
        {"signed for never falls back", QStringList{"A 已签收 3", "A 运送中 1", "A 运送中 4"}, "--N", "已签收", true},
        {"another back-end starts again",
         QStringList{"A 已签收 3 kuaidi100", "A 运送中 2 demo", "A 派件中 4 kuaidi100", "A 派件中 4 kuaidi100",
                     "A 已签收 5 kuaidi100"},
         "----D", "已签收", true},
        {"a file without back-ends keeps what it knew", QStringList{"A 运送中 1", "A 派件中 2 demo"}, "-N", "派件中",
         true},
        {"a provider state is news once, event or not",
         QStringList{"A 运送中 1", "A 待取件 1", "A 待取件 1", "A 已退回 2", "A 异常 2"}, "-N-NN", "异常", true},
    };
    addRows(rows);
}

void TestWatch::newsIsToldOnce() {
    QFETCH(NewsRow, row);
    const auto& [name, steps, news, state, unseen] = row;
    ParcelStates states;
    QString told;
    for (const QString& step : steps) {
        const QStringList p = step.split(u' ');
        if (p.first() == QStringLiteral("F")) {
            states.fail(key("1"), troubleFailed, start);
            told += u'-';
            continue;
        }
        const Sighting seen{p.at(1),
                            {QStringLiteral("2026-12-0%1 10:00").arg(p.at(2)), p.at(1) + QStringLiteral(" 上海")}};
        const News n =
            states.observe(key("1"), seen, start,
                           p.first() == u"U" ? ParcelStates::Asker::User : ParcelStates::Asker::Automatic, p.value(3));
        told += n == News::None ? u'-' : n == News::Delivered ? u'D' : u'N';
    }
    QCOMPARE(told, news);
    QCOMPARE(states.value(key("1")).state, state);
    QCOMPARE(states.value(key("1")).unseen, unseen);
}

// Parcels "A".."D" answer "ok" (运送中, the minute as their event), "still" (运送中, an event of a
// month ago), "signed" or "fail"; the clock moves a minute at a time from 08:00 and every ask is
// answered at once. Expected: the minutes each parcel was asked at.
// Rows: the outcomes, one per parcel in book order; the interval; the service's cache lifetime; the minutes run;
// when switched off (-1: never); quiet hours "HH:mm-HH:mm" or none; a new interval "minute:interval" or none.
using PlanRow = std::tuple<const char*, QStringList, int, int, int, int, QString, QString, QStringList>;

void TestWatch::plan_data() {
    const PlanRow rows[] = {
        {"spread evenly, once per interval", QStringList{"ok", "ok", "ok", "ok"}, 60, 1, 119, -1, "", "",
         QStringList{"0 60", "15 75", "30 90", "45 105"}},
        {"failures back off, up to the interval", QStringList{"fail", "ok"}, 20, 1, 60, -1, "", "",
         QStringList{"0 1 3 7 15 31 51", "10 30 50"}},
        {"signed for: left alone", QStringList{"signed", "ok"}, 60, 1, 240, -1, "", "",
         QStringList{"0", "30 90 150 210"}},
        {"never shorter than the cache lifetime", QStringList{"ok"}, 1, 5, 16, -1, "", "", QStringList{"0 5 10 15"}},
        {"switched off", QStringList{"ok", "ok"}, 60, 1, 120, 31, "", "", QStringList{"0", "30"}},
        {"quiet hours: nothing then, the spread kept after", QStringList{"ok", "ok"}, 60, 1, 240, -1, "09:00-10:00", "",
         QStringList{"0 120 180 240", "30 150 210"}},
        {"quiet across midnight", QStringList{"ok"}, 60, 1, 240, -1, "22:00-09:30", "", QStringList{"90 150 210"}},
        {"no movement for days: every three hours", QStringList{"still", "ok"}, 60, 1, 400, -1, "", "",
         QStringList{"0 180 360", "30 90 150 210 270 330 390"}},
        {"interval lowered: spread again at once", QStringList{"ok", "ok", "ok", "ok"}, 60, 1, 8, -1, "", "5:1",
         QStringList{"0 6 7 8", "5 6 7 8", "6 7 8", "6 7 8"}},
    };
    addRows(rows);
}

void TestWatch::plan() {
    QFETCH(PlanRow, row);
    const auto& [name, outcomes, minutes, minimum, runFor, stopAt, quiet, retune, asks] = row;
    ParcelStates states;
    WatchPlan plan;
    plan.setInterval(minutes, minimum);
    if (!quiet.isEmpty())
        plan.setQuietHours(QTime::fromString(quiet.left(5), "HH:mm"), QTime::fromString(quiet.mid(6), "HH:mm"));
    QList<ParcelKey> parcels;
    for (int i = 0; i < outcomes.size(); ++i)
        parcels << key(QString(QChar(u'A' + i)));
    plan.setParcels(parcels, states, start);
    QMap<QString, QStringList> asked;
    for (int m = 0; m <= runFor; ++m) {
        const QDateTime now = start.addSecs(m * 60);
        if (m == stopAt)
            plan.stop();
        if (!retune.isEmpty() && m == retune.section(u':', 0, 0).toInt())
        {
            plan.setInterval(retune.section(u':', 1).toInt(), minimum);
            plan.replan(states, now);
        }
        while (const std::optional<ParcelKey> k = plan.take(now, states)) {
            asked[k->number] << QString::number(m);
            const QString outcome = outcomes.at(k->number.at(0).unicode() - u'A');
            if (outcome == QStringLiteral("fail")) {
                states.fail(*k, troubleFailed, now);
                plan.done(*k, false, states.value(*k).failures, now, states.find(*k));
            } else {
                const QString state = outcome == QStringLiteral("signed") ? deliveredState : QStringLiteral("运送中");
                const QString time =
                    outcome == QStringLiteral("still") ? QStringLiteral("2026-11-07 10:00:00") : QString::number(m);
                (void)states.observe(*k, {state, {time, state}}, now, ParcelStates::Asker::Automatic);
                plan.done(*k, true, 0, now, states.find(*k));
            }
        }
    }
    QStringList got;
    for (const ParcelKey& k : parcels)
        got << asked.value(k.number).join(u' ');
    QCOMPARE(got, asks);
}

void TestWatch::oneAskAtATime() {
    ParcelStates states;
    WatchPlan plan;
    plan.setInterval(1);
    plan.setParcels({key("A"), key("B")}, states, start);
    const QDateTime later = start.addSecs(3600);
    QCOMPARE(plan.take(later, states), std::optional<ParcelKey>(key("A")));
    QVERIFY(!plan.take(later, states)); // B waits for A's answer
    QVERIFY(!plan.nextDue(states).isValid());
    plan.done(key("A"), true, 0, later);
    QCOMPARE(plan.take(later, states), std::optional<ParcelKey>(key("B")));
    // B leaves the book while asked: A is not held up by it; a signed-for A is asked no more.
    plan.setParcels({key("A")}, states, later);
    QVERIFY(plan.nextDue(states).isValid());
    (void)states.observe(key("A"), {deliveredState, {"t", "p"}}, later, ParcelStates::Asker::User);
    QVERIFY(!plan.nextDue(states).isValid());
}

// What one good answer resets, and what the overview's cells show.
// Steps at minutes from the start: "t M" asks for the parcel due (expected: its letter, or "-" for
// none), "ok K M" and "fail K M" end an ask of K, "add KEYS M" gives the plan its parcels again.
using PlaceRow = std::tuple<const char*, QString, QStringList, QString>;

void TestWatch::planKeepsEachParcelsPlace_data() {
    const PlaceRow rows[] = {
        {"a parcel added is asked soon, the others keep their place", "AB",
         {"t 0", "ok A 0", "add ABC 5", "t 5", "ok C 5", "t 30", "ok B 30", "t 60", "ok A 60", "t 64", "t 65"},
         "ACBA-C"},
        {"equal due times go to the first in the book", "AB", {"fail B 10", "fail A 10", "t 11"}, "A"},
        {"a good answer keeps its place in the spread", "ABC",
         {"t 10", "ok A 10", "t 20", "ok B 20", "t 40", "ok C 40", "t 60"}, "ABCA"},
        {"a late good answer waits a slot", "ABC",
         {"t 119", "ok A 119", "ok B 119", "ok C 119", "t 125", "t 139"}, "A-A"},
    };
    addRows(rows);
}

void TestWatch::planKeepsEachParcelsPlace() {
    QFETCH(PlaceRow, row);
    const auto& [name, book, steps, taken] = row;
    const auto keys = [](const QString& letters) {
        QList<ParcelKey> list;
        for (const QChar c : letters)
            list << key(c);
        return list;
    };
    ParcelStates states;
    WatchPlan plan;
    plan.setInterval(60);
    plan.setParcels(keys(book), states, start);
    QString got;
    for (const QString& step : steps) {
        const QStringList words = step.split(u' ');
        const QDateTime now = start.addSecs(words.last().toInt() * 60);
        if (words.first() == u"t") {
            const std::optional<ParcelKey> k = plan.take(now, states);
            got += k ? k->number : QStringLiteral("-");
        } else if (words.first() == u"add") {
            plan.setParcels(keys(words.at(1)), states, now);
        } else {
            plan.done(key(words.at(1)), words.first() == u"ok", 1, now);
        }
    }
    QCOMPARE(got, taken);
}

void TestWatch::goodAnswerAndOverviewCells() {
    ParcelStates states;
    const ParcelKey a = key("A");
    states.fail(a, troubleFailed, start);
    (void)states.observe(a, {QStringLiteral("运送中"), {"t2", "<b>"}}, start, ParcelStates::Asker::User);
    QCOMPARE(states.value(a).failures, 0);
    QCOMPARE(states.value(a).trouble, QString());
    OverviewModel model(states);
    model.setRecords({QStringLiteral("A|申通快递|书"), QStringLiteral("B|申通快递|伞")}, {});
    QCOMPARE(model.index(1, OverviewModel::State).data().toString(), notAskedState);
    QCOMPARE(model.index(0, OverviewModel::Asked).data().toString(), QStringLiteral("2026-12-07 08:00"));
    QCOMPARE(model.index(0, OverviewModel::Latest).data(Qt::ToolTipRole).toString(),
             QStringLiteral("<p>&lt;b&gt;</p>"));
    QSignalSpy changed(&model, &OverviewModel::dataChanged);
    states.markSeen(a);
    (void)states.observe(a, {QStringLiteral("派件中"), {"t3", "p"}}, start, ParcelStates::Asker::Automatic);
    QVERIFY(!changed.isEmpty());
    QCOMPARE(changed.last().at(1).toModelIndex().column(), int(OverviewModel::ColumnCount) - 1);
}

// "moving" parcels with an event of this morning, "still" ones with an event of a
// week ago, "signed" ones. The estimate is checked against a day of the plan run on a fake clock,
// and the billed share against each back-end's way of charging.
// "known" is the back-end the parcels were learnt from.
using CostRow = std::tuple<const char*, int, int, int, int, QString, QString, QString, int, int, QString>;

void TestWatch::costOfADay_data() {
    const CostRow rows[] = {
        {"kuaidi100, hourly, quiet nights", 400, 400, 200, 60, "22:00-07:00", "kuaidi100", "kuaidi100", 8000, 8000,
         "约 8000 次查询/天(快递100 按次计费)"},
        {"kuaidi100, no quiet hours", 100, 0, 0, 60, "", "kuaidi100", "kuaidi100", 2400, 2400,
         "约 2400 次查询/天(快递100 按次计费)"},
        {"17TRACK: registered numbers ask for free", 40, 40, 20, 60, "22:00-07:00", "17track", "17track", 800, 0,
         "约 0 次查询/天(17TRACK 按单号计费,已登记的单号再查不计费;共查 800 次)"},
        {"17TRACK: new numbers are registered once", 40, 40, 20, 60, "22:00-07:00", "17track", "demo", 800, 80,
         "约 80 次查询/天(17TRACK 按单号计费,已登记的单号再查不计费;共查 800 次)"},
        {"kdniao, every 30 minutes", 40, 40, 20, 30, "22:00-07:00", "kdniao", "kdniao", 1400, 1400,
         "约 1400 次查询/天(快递鸟 按次计费)"},
        {"demo", 40, 40, 20, 60, "22:00-07:00", "demo", "demo", 800, 0, "约 800 次查询/天(演示数据,不计费)"},
    };
    addRows(rows);
}

void TestWatch::costOfADay() {
    QFETCH(CostRow, row);
    const auto& [name, moving, still, signedFor, minutes, quiet, backend, known, asks, charged, line] = row;
    const QDateTime midnight(QDate(2026, 12, 7), QTime(0, 0));
    ParcelStates states;
    QList<ParcelKey> parcels;
    for (int i = 0; i < moving + still + signedFor; ++i) {
        parcels << key(QString::number(100000 + i));
        const bool isSigned = i >= moving + still;
        const QString time = i < moving ? QStringLiteral("2026-12-06 23:00:00") : QStringLiteral("2026-11-30 10:00:00");
        // Last asked a day ago: the day starts with every parcel due.
        (void)states.observe(parcels.last(), {isSigned ? deliveredState : QStringLiteral("运送中"), {time, "p"}},
                             midnight.addDays(-1), ParcelStates::Asker::User, known);
    }
    WatchPlan plan;
    plan.setInterval(minutes);
    if (!quiet.isEmpty())
        plan.setQuietHours(QTime::fromString(quiet.left(5), "HH:mm"), QTime::fromString(quiet.mid(6), "HH:mm"));
    plan.setParcels(parcels, states, midnight);
    const WatchCost cost = estimateCost(plan, states, backend, midnight);
    QCOMPARE(cost.asks, asks);
    QCOMPARE(cost.charged, charged);
    QCOMPARE(costLine(cost, backend,
                      backend == u"kuaidi100" ? QStringLiteral("快递100")
                      : backend == u"17track" ? QStringLiteral("17TRACK")
                                              : QStringLiteral("快递鸟")),
             line);
    // A day of the plan itself, every ask answered at once with what is known: the events do not
    // move, so the moving parcels stay moving (their event is hours old, not days).
    int made = 0;
    for (QDateTime now = midnight; now < midnight.addDays(1);) {
        while (const std::optional<ParcelKey> k = plan.take(now, states)) {
            ++made;
            plan.done(*k, true, 0, now, states.find(*k));
        }
        const QDateTime next = plan.nextDue(states);
        if (!next.isValid())
            break;
        now = std::max(next, now.addSecs(1));
    }
    QVERIFY2(qAbs(made - asks) <= asks / 50 + parcels.size() / 50, qPrintable(QString::number(made)));
}

// The plan at a start (or after a suspend, or a new interval): each parcel from when it was last
// asked, never sooner; what fell due, or would bunch up, is spread over the interval, longest
// waiting first, never all at once.
// Rows: per parcel when it was last asked, in minutes before now ("-" never, "/N" after N failures
// in a row); expected: minutes from now to its next ask.
using MemoryRow = std::tuple<const char*, QStringList, QStringList>;

void TestWatch::planRemembers_data() {
    const MemoryRow rows[] = {
        {"asked lately: an interval after, and apart", {"30", "50", "59"}, {"41", "21", "1"}},
        {"fell due: spread, longest waiting first", {"-", "200", "90", "10"}, {"0", "15", "30", "50"}},
        {"a failed ask waits its pause", {"1/2", "30/9", "4/3"}, {"20", "40", "0"}},
    };
    addRows(rows);
}

void TestWatch::planRemembers() {
    QFETCH(MemoryRow, row);
    const auto& [name, asked, due] = row;
    const QDateTime now = start.addDays(1);
    ParcelStates states;
    QList<ParcelKey> parcels;
    for (int i = 0; i < asked.size(); ++i) {
        parcels << key(QString::number(i));
        if (asked.at(i) == u"-")
            continue;
        const QDateTime at = now.addSecs(-60 * asked.at(i).section(u'/', 0, 0).toInt());
        (void)states.observe(parcels.last(), {inTransitState, {now.toString("yyyy-MM-dd HH:mm:ss"), "p"}}, at,
                             ParcelStates::Asker::Automatic);
        for (int f = asked.at(i).section(u'/', 1).toInt(); f > 0; --f)
            states.fail(parcels.last(), troubleFailed, at);
    }
    WatchPlan plan;
    plan.setInterval(60);
    plan.setParcels(parcels, states, now);
    QStringList got;
    for (const ParcelKey& k : parcels)
        got << QString::number(now.secsTo(plan.dueOf(k)) / 60);
    QCOMPARE(got, due);
}

// A daily limit that cannot serve every parcel at its interval (60 minutes, quiet 22:00-07:00):
// parcels out for delivery first, then those under way, then the still ones; what the overview
// says of it, and the asks a day, which the limit holds.
// Rows: parcels out for delivery, under way, still; the limit; the line; asks a day.
using BudgetRow = std::tuple<const char*, int, int, int, int, QString, int>;

void TestWatch::budgetGoesWhereNewsIsLikely_data() {
    const BudgetRow rows[] = {
        {"the limit serves every parcel", 10, 10, 10, 500, "", 350},
        {"out for delivery hourly, the rest share", 20, 60, 20, 500, "上限 500 次:派件中每小时一次,其余约每 6 小时一次",
         500},
        {"out for delivery alone exceed it", 100, 600, 300, 500, "上限 500 次:派件中约每 3 小时一次,其余暂停", 500},
        {"still parcels keep their three hours", 0, 100, 20, 1000,
         "上限 1000 次:运送中约每 2 小时一次,久无进展的每 3 小时一次", 1000},
    };
    addRows(rows);
}

void TestWatch::budgetGoesWhereNewsIsLikely() {
    QFETCH(BudgetRow, row);
    const auto& [name, urgent, moving, still, limit, line, asks] = row;
    const QDateTime now = start;
    ParcelStates states;
    QList<ParcelKey> parcels;
    for (int i = 0; i < urgent + moving + still; ++i) {
        parcels << key(QString::number(i));
        const QDateTime event = i < urgent + moving ? now.addSecs(-3600) : now.addDays(-5);
        (void)states.observe(parcels.last(),
                             {i < urgent ? outForDeliveryState : inTransitState,
                              {event.toString("yyyy-MM-dd HH:mm:ss"), "p"}},
                             now.addSecs(-60), ParcelStates::Asker::Automatic);
    }
    WatchPlan plan;
    plan.setInterval(60);
    plan.setQuietHours(QTime(22, 0), QTime(7, 0));
    plan.setDailyBudget(limit);
    plan.setParcels(parcels, states, now);
    QCOMPARE(shareLine(plan, limit), line);
    QCOMPARE(int(std::lround(plan.asksPerDay())), asks);
}

void TestWatch::newsCloseTogetherIsToldTogether() {
    NewsBatch batch;
    batch.add(key("A"), News::NewEvent, start);
    batch.add(key("B"), News::None, start.addSecs(10)); // nothing to tell
    batch.add(key("B"), News::NewEvent, start.addSecs(20));
    batch.add(key("A"), News::Delivered, start.addSecs(30)); // one entry, the delivery
    batch.add(key("C"), News::NewEvent, start.addSecs(59));
    batch.add(key("E"), News::NewEvent, start.addSecs(59));
    batch.drop(key("E")); // set aside by another back-end's answer
    QVERIFY(batch.takeDue(start.addSecs(59)).isEmpty());
    QCOMPARE(batch.due(), start.addMSecs(NewsBatch::windowMs));
    QCOMPARE(batch.takeDue(start.addSecs(60)),
             (QList<ParcelNews>{{key("A"), News::Delivered}, {key("B"), News::NewEvent}, {key("C"), News::NewEvent}}));
    QVERIFY(batch.isEmpty());
    batch.add(key("D"), News::NewEvent, start.addSecs(61)); // a window of its own
    QCOMPARE(batch.takeDue(start.addSecs(121)), (QList<ParcelNews>{{key("D"), News::NewEvent}}));
}

using AnswerStateRow = std::tuple<const char*, QByteArray, QString, QString>;

void TestWatch::providerStates_data() {
    const AnswerStateRow rows[] = {
        {"no header: the text rule", QByteArray(), "拒签,退回寄件人", "已签收"},
        {"unknown token: the text rule", "lost", "派送中,快递员张三", "派件中"},
        {"returned", "returned", "拒签,退回寄件人", "已退回"},
        {"pickup", " Pickup ", "已放入快递柜", "待取件"},
        {"exception", "exception", "疑难件", "异常"},
        {"signed", "signed", "已投递", "已签收"},
        {"delivering", "delivering", "到达", "派件中"},
        {"transit", "transit", "已签收", "运送中"},
    };
    addRows(rows);
}

void TestWatch::providerStates() {
    QFETCH(AnswerStateRow, row);
    const auto& [name, token, progress, state] = row;
    QCOMPARE(answerState(token, progress), state);
}

void TestWatch::pickupCode_data() {
    QTest::addColumn<QString>("progress");
    QTest::addColumn<QString>("code");
    QTest::newRow("locker") << "您的快件已放入丰巢柜,取件码 3-2-1045,请及时取件"
                            << "3-2-1045";
    QTest::newRow("凭取件码, no space") << "【菜鸟驿站】请凭取件码123456到幸福路店领取"
                                        << "123456";
    QTest::newRow("colon and brackets") << "包裹已到驿站,取件码：【A8-2-3001】"
                                        << "A8-2-3001";
    QTest::newRow("为") << "快件已存放至小区快递柜,取件码为 88061723"
                        << "88061723";
    QTest::newRow("提货码") << "请凭提货码:5521 到前台提货"
                            << "5521";
    QTest::newRow("bare, before 取件") << "已到达代收点,请凭 12-3-4567 取件"
                                       << "12-3-4567";
    QTest::newRow("full-width hyphen") << "取件码 3－2－1045"
                                       << "3-2-1045";
    QTest::newRow("a word, not a code") << "请凭取件码取件"
                                        << "";
    QTest::newRow("a phone, not a code") << "派件员电话 13800138000,请保持电话畅通"
                                         << "";
    QTest::newRow("nothing") << "已签收,签收人:本人"
                             << "";
}

void TestWatch::pickupCode() {
    QFETCH(QString, progress);
    QFETCH(QString, code);
    QCOMPARE(findPickupCode(progress), code);
}

// The sample tests/data/parcels.json, written by hand as the format is documented, reads as these
// states; the writer writes the same fields.
void TestWatch::stateFileSample() {
    QTemporaryDir dir;
    const QString path = dir.filePath(StateFile::fileName());
    QVERIFY(QFile::copy(QStringLiteral(ZJX_TEST_DATA "/parcels.json"), path));
    QHash<ParcelKey, ParcelState> states;
    ParcelState a;
    a.state = deliveredState;
    a.latest = {QStringLiteral("2026-12-07 10:00:00"), QStringLiteral("已签收,签收人:本人 \"引号\" \\ 换行\n")};
    a.askedAt = start;
    a.unseen = true;
    a.deliveredAnswers = 2;
    a.estimate = "2026-12-09/2026-12-11";
    ParcelState b;
    b.trouble = troubleNoRecord;
    b.failures = 3;
    b.askedAt = start.addSecs(61);
    b.source = QStringLiteral("kuaidi100");
    states.insert({QStringLiteral("123"), QStringLiteral("共速达物流|快递")}, a);
    states.insert(key("456"), b);
    const WatchLedger ledger{QStringLiteral("17track"), start.date(), 42};
    const StateFile::Loaded loaded = StateFile::load(path);
    QVERIFY(loaded.keptAside.isEmpty());
    QCOMPARE(loaded.ledger, ledger);
    QCOMPARE(loaded.states.keys().size(), 2);
    for (auto it = states.cbegin(); it != states.cend(); ++it) {
        const ParcelState& got = loaded.states.value(it.key());
        QCOMPARE(got.state, it->state);
        QCOMPARE(got.latest, it->latest);
        QCOMPARE(got.askedAt, it->askedAt);
        QCOMPARE(got.trouble, it->trouble);
        QCOMPARE(got.unseen, it->unseen);
        QCOMPARE(got.failures, it->failures);
        QCOMPARE(got.deliveredAnswers, it->deliveredAnswers);
        QCOMPARE(got.source, it->source);
        QCOMPARE(got.estimate, it->estimate);
    }
    const auto parcelsOf = [](const QByteArray& json) {
        QJsonObject root = QJsonDocument::fromJson(json).object();
        QMap<QString, QJsonValue> byNumber;
        for (const QJsonValue& v : root.take(QStringLiteral("parcels")).toArray())
            byNumber.insert(v[QStringLiteral("number")].toString(), v);
        return std::pair(root, byNumber);
    };
    QVERIFY(StateFile::save(path, states, ledger).ok());
    QFile written(path), sample(QStringLiteral(ZJX_TEST_DATA "/parcels.json"));
    QVERIFY(written.open(QIODevice::ReadOnly) && sample.open(QIODevice::ReadOnly));
    QCOMPARE(parcelsOf(written.readAll()), parcelsOf(sample.readAll()));
    // A file of the first version of this format (no back-ends, no ledger) reads as it was.
    const std::optional<StateFile::Contents> old = StateFile::fromJson(
        R"({"format":"zjx-parcels","version":1,"parcels":[{"number":"9","company":"申通快递","state":"运送中"}]})");
    QVERIFY(old && old->ledger == WatchLedger{});
    QCOMPARE(old->states.value(key("9")).state, QStringLiteral("运送中"));
    QVERIFY(old->states.value(key("9")).source.isEmpty());
}

void TestWatch::damagedStateFileIsKeptAside_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("cut short") << QByteArray(R"({"format":"zjx-parcels","version":1,"parcels":[{"number":"1")");
    QTest::newRow("not JSON") << QByteArray("\x00\xff garbage", 10);
    QTest::newRow("another program's JSON") << QByteArray(R"({"parcels":[]})");
    QTest::newRow("a later version") << QByteArray(R"({"format":"zjx-parcels","version":2,"parcels":[]})");
    QTest::newRow("empty") << QByteArray();
}

void TestWatch::damagedStateFileIsKeptAside() {
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath(StateFile::fileName());
    for (const QString& p : QStringList{path, path + QStringLiteral(".damaged")}) {
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes); // a copy kept aside before: the new one must not replace it
    }
    const StateFile::Loaded loaded = StateFile::load(path);
    QVERIFY(loaded.states.isEmpty());
    QCOMPARE(loaded.keptAside, path + QStringLiteral(".damaged.2"));
    QFile aside(loaded.keptAside);
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), bytes);
    QVERIFY(!QFile::exists(path));
}

// What the watch knows is written row by row: each moment's changes one transaction, read back
// whole after a restart, the database and its log the owner's alone.
void TestWatch::storeWritesRowByRow() {
    QTemporaryDir dir;
    const QString path = dir.filePath(WatchStore::fileName());
    ParcelState a;
    a.state = outForDeliveryState;
    a.latest = {QStringLiteral("2026-12-07 10:00:00"), QStringLiteral("派件中,取件码 3-2-1045 \"引号\"\n")};
    a.askedAt = start.addMSecs(1234);
    a.unseen = true;
    a.deliveredAnswers = 1;
    a.source = QStringLiteral("kuaidi100");
    a.estimate = "2026-12-09/2026-12-11";
    ParcelState b;
    b.trouble = troubleNoRecord;
    b.failures = 3;
    b.askedAt = start;
    const WatchLedger ledger{QStringLiteral("kuaidi100"), start.date(), 42};
    const ParcelKey odd{QStringLiteral("123"), QStringLiteral("共速达物流|快递")};
    {
        const ::mode_t mask = ::umask(022);
        WatchStore store;
        const WatchStore::Opened opened = store.open(path);
        ::umask(mask);
        QVERIFY(opened.error.isEmpty() && opened.states.isEmpty());
        store.put(odd, &a);
        store.put(key("456"), &b);
        store.put(key("789"), &b);
        store.putLedger(ledger);
        QVERIFY(store.pending());
        QTRY_VERIFY(!store.pending()); // written when control returns to the event loop
        QCOMPARE(store.transactions(), 1);
        store.put(key("789"), nullptr); // forgotten
        QVERIFY(store.flush());
        QCOMPARE(store.transactions(), 2);
        for (const QString& file : QStringList{path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm")})
            QCOMPARE(QFileInfo(file).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
                     QFile::ReadOwner | QFile::WriteOwner);
    }
    WatchStore again;
    const WatchStore::Opened read = again.open(path);
    QCOMPARE(read.states.size(), 2);
    QCOMPARE(summary(read.states.value(odd)), summary(a));
    QCOMPARE(summary(read.states.value(key("456"))), summary(b));
    QCOMPARE(read.ledger, ledger);
    QVERIFY(read.keptAside.isEmpty());
}

// What stands where the database belongs and is not one of ours is moved aside (with its log), and
// the watch starts afresh; a pipe there must not hold the program up.
void TestWatch::damagedStoreIsSetAside_data() {
    QTest::addColumn<QString>("what");
    QTest::newRow("not a database") << "garbage";
    QTest::newRow("another program's database") << "foreign";
    QTest::newRow("a later version") << "later";
    QTest::newRow("a pipe") << "fifo";
    QTest::newRow("a folder") << "folder";
    QTest::newRow("cut short") << "cut";
}

void TestWatch::damagedStoreIsSetAside() {
    QFETCH(QString, what);
    QTemporaryDir dir;
    const QString path = dir.filePath(WatchStore::fileName());
    const auto sql = [&](const QStringList& statements) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("plant"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            for (const QString& statement : statements)
                QVERIFY(QSqlQuery(db).exec(statement));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("plant"));
    };
    if (what == u"garbage") {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(5000, '\x5a'));
    } else if (what == u"foreign") {
        sql({QStringLiteral("CREATE TABLE songs (title TEXT)")});
    } else if (what == u"later") {
        sql({QStringLiteral("CREATE TABLE parcel (number TEXT)"), QStringLiteral("PRAGMA user_version=7")});
    } else if (what == u"fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (what == u"folder") {
        QVERIFY(QDir(dir.path()).mkdir(WatchStore::fileName()));
    } else {
        {
            WatchStore store;
            QVERIFY(store.open(path).error.isEmpty());
            ParcelState s;
            s.state = inTransitState;
            for (int i = 0; i < 200; ++i)
                store.put(key(QString::number(i)), &s);
            QVERIFY(store.flush());
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.resize(f.size() / 2));
    }
    WatchStore store;
    const WatchStore::Opened opened = store.open(path);
    QVERIFY(opened.error.isEmpty());
    QVERIFY(opened.states.isEmpty());
    QCOMPARE(opened.keptAside, path + QStringLiteral(".damaged"));
    QVERIFY(QFileInfo::exists(opened.keptAside) || QFileInfo(opened.keptAside).isSymLink());
    // The fresh database works.
    ParcelState s;
    s.state = inTransitState;
    store.put(key("1"), &s);
    QVERIFY(store.flush());
    QCOMPARE(rowsIn(path), 1);
}

// The knowledge of earlier versions (parcels.json) is taken in once and kept beside as a backup.
void TestWatch::stateFileIsImportedOnce() {
    QTemporaryDir dir;
    const QString path = dir.filePath(WatchStore::fileName());
    const QString json = dir.filePath(StateFile::fileName());
    QVERIFY(QFile::copy(QStringLiteral(ZJX_TEST_DATA "/parcels.json"), json));
    const StateFile::Loaded legacy = StateFile::load(json);
    {
        WatchStore store;
        const WatchStore::Opened opened = store.open(path, json);
        QVERIFY(opened.imported);
        QCOMPARE(opened.states.size(), legacy.states.size());
        QCOMPARE(opened.ledger, legacy.ledger);
    }
    QVERIFY(!QFileInfo::exists(json));
    QVERIFY(QFileInfo::exists(json + QStringLiteral(".bak")));
    // A file put back later is not taken in again over what the watch has learnt since.
    QVERIFY(QFile::copy(json + QStringLiteral(".bak"), json));
    WatchStore store;
    const WatchStore::Opened again = store.open(path, json);
    QVERIFY(!again.imported);
    QCOMPARE(again.states.size(), legacy.states.size());
    for (auto it = legacy.states.cbegin(); it != legacy.states.cend(); ++it)
        QCOMPARE(summary(again.states.value(it.key())), summary(it.value()));
    QVERIFY(QFileInfo::exists(json));
}

// Rows: the search, the state shown (empty: any), the archive or the book, the column sorted by, the notes.
using FilterRow = std::tuple<const char*, QString, QString, bool, int, QStringList>;

void TestWatch::overviewFilterAndSort_data() {
    const int note = OverviewModel::Note;
    const FilterRow rows[] = {
        {"all by note, by pinyin", "", "", false, note, QStringList{"伞", "书", "鞋"}},
        {"by state", "", "", false, OverviewModel::State, QStringList{"鞋", "书", "伞"}},
        {"by time asked, never first", "", "", false, OverviewModel::Asked, QStringList{"书", "鞋", "伞"}},
        {"number", "222", "", false, note, QStringList{"鞋"}},
        {"company", "顺丰", "", false, note, QStringList{"伞", "鞋"}},
        {"note", "书", "", false, note, QStringList{"书"}},
        {"only the parcels never asked", "", "未查询", false, note, QStringList{"书"}},
        {"only the signed-for ones", "", "已签收", false, note, QStringList{"鞋"}},
        {"archive", "", "", true, note, QStringList{"旧书"}},
        {"archive, no match", "鞋", "", true, note, QStringList{}},
    };
    addRows(rows);
}

void TestWatch::overviewFilterAndSort() {
    QFETCH(FilterRow, row);
    const auto& [name, search, state, archived, column, notes] = row;
    ParcelStates states;
    // By pinyin 伞 (san) < 书 (shu) < 鞋 (xie), by code point 书 < 伞 < 鞋; by code point 已签收 < 未查询 < 运送中;
    // asked: 书 never, 鞋 at 8:00, 伞 at 9:00.
    (void)states.observe({QStringLiteral("222"), QStringLiteral("顺丰快递")}, {deliveredState, {"t", "p"}}, start,
                         ParcelStates::Asker::User);
    (void)states.observe({QStringLiteral("333"), QStringLiteral("顺丰快递")}, {QStringLiteral("运送中"), {"t", "p"}},
                         start.addSecs(3600), ParcelStates::Asker::User);
    OverviewModel model(states);
    model.setRecords(
        {QStringLiteral("111|申通快递|书"), QStringLiteral("222|顺丰快递|鞋"), QStringLiteral("333|顺丰快递|伞")},
        {QStringLiteral("444|申通快递|旧书")});
    OverviewFilter filter;
    filter.setSourceModel(&model);
    filter.setSearch(search);
    filter.setState(state);
    filter.setArchived(archived);
    filter.sort(column);
    QStringList got;
    for (int r = 0; r < filter.rowCount(); ++r)
        got << filter.index(r, OverviewModel::Note).data().toString();
    QCOMPARE(got, notes);
}

// The estimate column on 2026-12-07: the service's header of the last good answer, as words.
using EstimateRow = std::tuple<const char*, QByteArray, QString, bool, QString>;

void TestWatch::overviewEstimate_data() {
    const EstimateRow rows[] = {
        {"range", "2026-12-09/2026-12-11", "运送中", false, "预计送达 12月9日-12月11日"},
        {"one day", "2026-12-09", "待取件", false, "预计送达 12月9日"},
        {"late", "2026-12-06", "派件中", false, "已超过预计送达"},
        {"signed for", "2026-12-06", "已签收", false, ""},
        {"none", QByteArray(), "运送中", false, ""},
        {"last ask failed", "2026-12-09", "运送中", true, "预计送达 12月9日"},
    };
    addRows(rows);
}

void TestWatch::overviewEstimate() {
    QFETCH(EstimateRow, row);
    const auto& [name, estimate, state, failedSince, shown] = row;
    ParcelStates states;
    const ParcelKey parcel{QStringLiteral("111"), QStringLiteral("申通快递")};
    (void)states.observe(parcel, {state, {"t", "p"}, estimate}, start, ParcelStates::Asker::User);
    if (failedSince)
        states.fail(parcel, troubleFailed, start.addSecs(60));
    OverviewModel model(states);
    model.setToday([] { return QDate(2026, 12, 7); });
    model.setRecords({QStringLiteral("111|申通快递|书")}, {});
    QCOMPARE(model.headerData(OverviewModel::Estimate, Qt::Horizontal).toString(), QStringLiteral("预计送达"));
    QCOMPARE(model.index(0, OverviewModel::Estimate).data().toString(), shown);
}

QTEST_GUILESS_MAIN(TestWatch)
#include "tst_watch.moc"
