// The per-parcel knowledge and its news, the watch plan under a fake clock, the state file and the
// overview's filter and sort.
#include "watch/overviewmodel.h"
#include "watch/parcelstates.h"
#include "watch/savecadence.h"
#include "watch/statefile.h"
#include "watch/watchplan.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

using namespace zjx;

namespace {

const QDateTime start(QDate(2026, 12, 7), QTime(8, 0));
ParcelKey key(const QString& number) {
    return {number, QStringLiteral("申通快递")};
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
    void stateFileSample();
    void damagedStateFileIsKeptAside_data();
    void damagedStateFileIsKeptAside();
    void saveCadence_data();
    void saveCadence();
    void overviewFilterAndSort_data();
    void overviewFilterAndSort();
};

// Steps "U state time" (the user's query), "A state time" (an automatic one), "F" (no answer);
// the expected news per step: "-" none, "N" a new event, "D" a delivery.
void TestWatch::newsIsToldOnce_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("news");
    QTest::addColumn<bool>("unseen");
    QTest::newRow("asked twice, same event") << QStringList{"A 运送中 1", "A 运送中 1"} << "N-" << true;
    QTest::newRow("the user's view is known") << QStringList{"U 运送中 1", "A 运送中 1"} << "--" << false;
    QTest::newRow("event, delivery, delivery again")
        << QStringList{"U 运送中 1", "A 派件中 2", "A 已签收 3", "A 已签收 3"} << "-ND-" << true;
    QTest::newRow("opened by the user") << QStringList{"A 运送中 1", "U 运送中 1", "A 运送中 1"} << "N--" << false;
    QTest::newRow("a failure forgets nothing")
        << QStringList{"U 派件中 1", "F", "A 派件中 1", "F", "A 已签收 2", "F", "A 已签收 2"} << "----D--" << true;
}

void TestWatch::newsIsToldOnce() {
    QFETCH(QStringList, steps);
    QFETCH(QString, news);
    QFETCH(bool, unseen);
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
        const News n = states.observe(key("1"), seen, start,
                                      p.first() == u"U" ? ParcelStates::Asker::User : ParcelStates::Asker::Automatic);
        told += n == News::None ? u'-' : n == News::Delivered ? u'D' : u'N';
    }
    QCOMPARE(told, news);
    QCOMPARE(states.value(key("1")).unseen, unseen);
}

// Parcels "A".."D" answer "ok" (运送中, the minute as their event), "signed" or "fail"; the clock
// moves a minute at a time and every ask is answered at once. Expected: the minutes each parcel
// was asked at.
void TestWatch::plan_data() {
    QTest::addColumn<QStringList>("outcomes"); // one per parcel, in book order
    QTest::addColumn<int>("minutes");          // the interval
    QTest::addColumn<int>("minimum");          // the service's cache lifetime
    QTest::addColumn<int>("runFor");
    QTest::addColumn<int>("stopAt"); // -1: never switched off
    QTest::addColumn<QStringList>("asks");
    QTest::newRow("spread evenly, once per interval") << QStringList{"ok", "ok", "ok", "ok"} << 60 << 1 << 119 << -1
                                                      << QStringList{"0 60", "15 75", "30 90", "45 105"};
    QTest::newRow("failures back off, up to the interval")
        << QStringList{"fail", "ok"} << 20 << 1 << 60 << -1 << QStringList{"0 1 3 7 15 31 51", "10 30 50"};
    QTest::newRow("signed for: once more, then left")
        << QStringList{"signed", "ok"} << 60 << 1 << 240 << -1 << QStringList{"0 60", "30 90 150 210"};
    QTest::newRow("never shorter than the cache lifetime")
        << QStringList{"ok"} << 1 << 5 << 16 << -1 << QStringList{"0 5 10 15"};
    QTest::newRow("switched off") << QStringList{"ok", "ok"} << 60 << 1 << 120 << 31 << QStringList{"0", "30"};
}

void TestWatch::plan() {
    QFETCH(QStringList, outcomes);
    QFETCH(int, minutes);
    QFETCH(int, minimum);
    QFETCH(int, runFor);
    QFETCH(int, stopAt);
    QFETCH(QStringList, asks);
    ParcelStates states;
    WatchPlan plan;
    plan.setInterval(minutes, minimum);
    QList<ParcelKey> parcels;
    for (int i = 0; i < outcomes.size(); ++i)
        parcels << key(QString(QChar(u'A' + i)));
    plan.setParcels(parcels, start);
    QMap<QString, QStringList> asked;
    for (int m = 0; m <= runFor; ++m) {
        const QDateTime now = start.addSecs(m * 60);
        if (m == stopAt)
            plan.stop();
        while (const std::optional<ParcelKey> k = plan.take(now, states)) {
            asked[k->number] << QString::number(m);
            const QString outcome = outcomes.at(k->number.at(0).unicode() - u'A');
            if (outcome == QStringLiteral("fail")) {
                states.fail(*k, troubleFailed, now);
                plan.done(*k, false, states.value(*k).failures, now);
            } else {
                const QString state = outcome == QStringLiteral("signed") ? deliveredState : QStringLiteral("运送中");
                (void)states.observe(*k, {state, {QString::number(m), state}}, now, ParcelStates::Asker::Automatic);
                plan.done(*k, true, 0, now);
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
    plan.setParcels({key("A"), key("B")}, start);
    const QDateTime later = start.addSecs(3600);
    QCOMPARE(plan.take(later, states), std::optional<ParcelKey>(key("A")));
    QVERIFY(!plan.take(later, states)); // B waits for A's answer
    QVERIFY(!plan.nextDue(states).isValid());
    plan.done(key("A"), true, 0, later);
    QCOMPARE(plan.take(later, states), std::optional<ParcelKey>(key("B")));
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
    ParcelState b;
    b.trouble = troubleNoRecord;
    b.failures = 3;
    b.askedAt = start.addSecs(61);
    states.insert({QStringLiteral("123"), QStringLiteral("共速达物流|快递")}, a);
    states.insert(key("456"), b);
    const StateFile::Loaded loaded = StateFile::load(path);
    QVERIFY(loaded.keptAside.isEmpty());
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
    }
    const auto parcelsOf = [](const QByteArray& json) {
        QJsonObject root = QJsonDocument::fromJson(json).object();
        QMap<QString, QJsonValue> byNumber;
        for (const QJsonValue& v : root.take(QStringLiteral("parcels")).toArray())
            byNumber.insert(v[QStringLiteral("number")].toString(), v);
        return std::pair(root, byNumber);
    };
    QVERIFY(StateFile::save(path, states).ok());
    QFile written(path), sample(QStringLiteral(ZJX_TEST_DATA "/parcels.json"));
    QVERIFY(written.open(QIODevice::ReadOnly) && sample.open(QIODevice::ReadOnly));
    QCOMPARE(parcelsOf(written.readAll()), parcelsOf(sample.readAll()));
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

void TestWatch::overviewFilterAndSort_data() {
    QTest::addColumn<QString>("search");
    QTest::addColumn<bool>("archived");
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("notes");
    QTest::newRow("all by note") << "" << false << int(OverviewModel::Note) << QStringList{"书", "伞", "鞋"};
    QTest::newRow("by state") << "" << false << int(OverviewModel::State) << QStringList{"鞋", "书", "伞"};
    QTest::newRow("by time asked, never first")
        << "" << false << int(OverviewModel::Asked) << QStringList{"书", "鞋", "伞"};
    QTest::newRow("number") << "222" << false << int(OverviewModel::Note) << QStringList{"鞋"};
    QTest::newRow("company") << "顺丰" << false << int(OverviewModel::Note) << QStringList{"伞", "鞋"};
    QTest::newRow("note") << "书" << false << int(OverviewModel::Note) << QStringList{"书"};
    QTest::newRow("archive") << "" << true << int(OverviewModel::Note) << QStringList{"旧书"};
    QTest::newRow("archive, no match") << "鞋" << true << int(OverviewModel::Note) << QStringList{};
}

void TestWatch::overviewFilterAndSort() {
    QFETCH(QString, search);
    QFETCH(bool, archived);
    QFETCH(int, column);
    QFETCH(QStringList, notes);
    ParcelStates states;
    // By code point 书 < 伞 < 鞋 and 已签收 < 未查询 < 运送中; asked: 书 never, 鞋 at 8:00, 伞 at 9:00.
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
    filter.setArchived(archived);
    filter.sort(column);
    QStringList got;
    for (int r = 0; r < filter.rowCount(); ++r)
        got << filter.index(r, OverviewModel::Note).data().toString();
    QCOMPARE(got, notes);
}

// A change is on disk soon after it, however many follow: a watch that finds something every
// 100 ms for ten seconds still writes within the longest wait, and a burst is one write.
void TestWatch::saveCadence_data() {
    QTest::addColumn<int>("everyMs");
    QTest::addColumn<int>("changes");
    QTest::addColumn<int>("writes");
    QTest::newRow("steady news") << 100 << 100 << 5;
    QTest::newRow("one burst") << 0 << 50 << 1;
    QTest::newRow("now and then") << 1000 << 3 << 3;
}
void TestWatch::saveCadence() {
    QFETCH(int, everyMs);
    QFETCH(int, changes);
    QFETCH(int, writes);
    qint64 now = 0;
    QList<qint64> unwritten;
    qint64 longestWait = 0;
    int written = 0;
    SaveCadence cadence([&] {
        ++written;
        for (qint64 at : std::as_const(unwritten))
            longestWait = std::max(longestWait, now - at);
        unwritten.clear();
        return true;
    });
    cadence.setClock([&] { return now; });
    // Ten-millisecond steps; the timer would wake the cadence at least that often.
    const qint64 end = qint64(everyMs) * changes + SaveCadence::longestMs + 100;
    for (int made = 0; now <= end; now += 10) {
        while (made < changes && qint64(made) * everyMs <= now) {
            unwritten << now;
            cadence.changed();
            ++made;
        }
        cadence.wake();
    }
    QVERIFY(unwritten.isEmpty() && !cadence.pending());
    QVERIFY2(longestWait <= SaveCadence::longestMs + 10, qPrintable(QString::number(longestWait)));
    QCOMPARE(written, writes);
}

QTEST_GUILESS_MAIN(TestWatch)
#include "tst_watch.moc"
