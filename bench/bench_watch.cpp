// The watch at a shop's scale, with its database: one answer's write, the plan's rebuild, archiving
// 300 parcels of 10,000, start-up and the overview at 1,000, 10,000 and 50,000 parcels.
// Besides the Google Benchmark figures, three measurements of their own:
//   --io SECONDS      the program with the watch on a fake provider and 10,000 parcels: bytes written
//   --day LIMIT       a day on a fake clock, 1,000 mixed parcels: asks by kind and by hour
//   --picture FILE    the overview at night with a limit too small for the book, saved as a picture
//   --restarts        two hours on a fake clock, restarted every 20 minutes: no parcel asked twice
//                     within its interval
#include "gui/mainwindow.h"
#include "gui/overviewwindow.h"
#include "gui/platform/messagebox.h"
#include "platform/environment.h"
#include "platform/httpclient.h"
#include "schedule/watchkeeper.h"
#include "support/testserver.h"
#include "watch/bookwatch.h"
#include "watch/watchplan.h"
#include "watch/watchstore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

using namespace zjx;

const QDateTime today(QDate(2026, 12, 7), QTime(8, 0));

QString number(int i) {
    return QStringLiteral("ZJX%1").arg(1000000 + i);
}
ParcelKey keyOf(int i) {
    return {number(i), QStringLiteral("申通快递")};
}

// What a shop's book holds: a tenth out for delivery or waiting for pickup, most under way, a
// fifth without movement for days, a tenth signed for.
ParcelState stateOf(int i, const QDateTime& asked) {
    ParcelState s;
    const int kind = i % 20;
    s.state = kind == 0 ? outForDeliveryState : kind == 1 ? pickupState : kind < 4 ? deliveredState : inTransitState;
    const QDateTime event = kind >= 16 ? asked.addDays(-5) : asked.addSecs(-3600);
    s.latest = {event.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                QStringLiteral("【上海市】快件已到达 上海转运中心，下一站 杭州转运中心 %1").arg(i)};
    s.askedAt = asked;
    s.source = QStringLiteral("kuaidi100");
    return s;
}

// A program folder with a book of `parcels` and a database that knows them all.
struct Folder {
    QTemporaryDir dir;
    explicit Folder(int parcels, bool withStates = true) {
        QFile book(dir.filePath(QStringLiteral("wlnum.ini")));
        QByteArray bytes;
        for (int i = 0; i < parcels; ++i)
            bytes += QStringEncoder("GBK").encode(number(i) + QStringLiteral("|申通快递|包裹%1\r\n").arg(i));
        if (book.open(QIODevice::WriteOnly))
            book.write(bytes);
        book.close();
        if (withStates) {
            WatchStore store;
            (void)store.open(dir.filePath(WatchStore::fileName()));
            for (int i = 0; i < parcels; ++i) {
                const ParcelState s = stateOf(i, today.addSecs(-i % 3600));
                store.put(keyOf(i), &s);
            }
            store.flush();
        }
        ProgramFolder::setOverride(dir.path());
        MessageBox::setHandler([](const MessageBox::Request&) { return MessageBox::Answer::Yes; });
    }
};

void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
}

// One answer: its parcel's row, and the day's ledger, in one transaction.
void BM_AnswerWrite(benchmark::State& state) {
    Folder folder(int(state.range(0)));
    WatchStore store;
    (void)store.open(folder.dir.filePath(WatchStore::fileName()));
    int i = 0;
    WatchLedger ledger{QStringLiteral("kuaidi100"), today.date(), 0};
    for (auto _ : state) {
        const ParcelState s = stateOf(i, today.addSecs(i));
        store.put(keyOf(i % int(state.range(0))), &s);
        ++ledger.spent;
        store.putLedger(ledger);
        benchmark::DoNotOptimize(store.flush());
        i += 7919;
    }
    state.SetLabel("parcels " + std::to_string(state.range(0)));
}
BENCHMARK(BM_AnswerWrite)->Apply(sizes)->Unit(benchmark::kMicrosecond);

// What start-up reads: every parcel's row and the ledger.
void BM_StoreOpen(benchmark::State& state) {
    Folder folder(int(state.range(0)));
    for (auto _ : state) {
        WatchStore store;
        benchmark::DoNotOptimize(store.open(folder.dir.filePath(WatchStore::fileName())).states.size());
    }
}
BENCHMARK(BM_StoreOpen)->Apply(sizes);

// The plan rebuilt from the knowledge (switching on, a new interval, limit or quiet hours).
void BM_PlanRebuild(benchmark::State& state) {
    ParcelStates states;
    QHash<ParcelKey, ParcelState> all;
    QList<ParcelKey> keys;
    for (int i = 0; i < state.range(0); ++i) {
        keys << keyOf(i);
        all.insert(keyOf(i), stateOf(i, today.addSecs(-i % 7200)));
    }
    states.replaceAll(all);
    for (auto _ : state) {
        WatchPlan plan;
        plan.setDailyBudget(500);
        plan.setQuietHours(QTime(22, 0), QTime(7, 0));
        plan.setParcels(keys, states, today);
        benchmark::DoNotOptimize(plan.nextDue(states));
    }
}
BENCHMARK(BM_PlanRebuild)->Apply(sizes);

// Start-up with the book and its database: the main window built and painted.
void BM_StartUp(benchmark::State& state) {
    Folder folder(int(state.range(0)));
    for (auto _ : state) {
        MainWindow w;
        w.show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(w.grab());
    }
}
BENCHMARK(BM_StartUp)->Apply(sizes);

void BM_OverviewOpens(benchmark::State& state) {
    Folder folder(int(state.range(0)));
    MainWindow w;
    for (auto _ : state) {
        w.openOverview();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(w.overview()->grab());
        state.PauseTiming();
        delete w.overview();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OverviewOpens)->Apply(sizes);

// 300 parcels of 10,000 archived from the open overview, until the window is ready again.
void BM_Archive300(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        Folder folder(int(state.range(0)));
        auto w = std::make_unique<MainWindow>();
        w->watchKeeper().setEnabled(true);
        w->openOverview();
        QCoreApplication::processEvents();
        QStringList records;
        for (int i = 0; i < 300; ++i)
            records << w->bookKeeper().records().at(i * 31);
        state.ResumeTiming();
        w->archiveRecords(records);
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(w->overview()->grab());
        state.PauseTiming();
        if (w->watchKeeper().archivedRecords().size() != 300)
            state.SkipWithError("not archived");
        w.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Archive300)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

struct ProcIo {
    qint64 wchar = 0;
    qint64 writeBytes = 0;
};
ProcIo procIo() {
    ProcIo io;
    QFile f(QStringLiteral("/proc/self/io"));
    if (!f.open(QIODevice::ReadOnly))
        return io;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("wchar:"))
            io.wchar = line.mid(6).trimmed().toLongLong();
        else if (line.startsWith("write_bytes:"))
            io.writeBytes = line.mid(12).trimmed().toLongLong();
    }
    return io;
}

// The program with the watch on for `seconds`, 10,000 parcels, a fake provider that answers at
// once as a billed back-end would.
int measureWrites(int seconds) {
    test::TestServer server;
    server.setHandler("/", [](const test::RecordedRequest& r) {
        const int i = QString::fromStdString(r.param("nu")).mid(3).toInt() - 1000000;
        test::CannedResponse answer{
            200, test::TestServer::trackingPage({QStringLiteral("已收件"), QStringLiteral("运送中 %1").arg(i)},
                                                QDate(2026, 12, 5))};
        answer.headers = {{"X-Zjx-Backend", "kuaidi100"}};
        return answer;
    });
    qputenv("ZJX_TRACKING_HOST", server.hostPort().toUtf8());
    qputenv("ZJX_SOFTWARE_SITE", QByteArray("http://127.0.0.1:") + QByteArray::number(test::TestServer::unusedPort()));
    ProgramEnd::setHandler([] {});
    Folder folder(10000, false);
    auto w = std::make_unique<MainWindow>();
    w->show();
    WatchKeeper& keeper = w->watchKeeper();
    keeper.setQuietHours(QTime(0, 0), QTime(0, 0));
    keeper.setDailyLimit(1000000);
    keeper.setMinutes(60);
    QCoreApplication::processEvents();
    const ProcIo before = procIo();
    keeper.setEnabled(true);
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    const ProcIo after = procIo();
    const qint64 asks = keeper.bookWatch().requestsSent();
    const double perMinute = 60000.0 / double(clock.elapsed());
    std::printf("watch on for %.1f s, 10000 parcels: %lld asks; written %.2f MB (write syscalls) = %.2f MB a minute; "
                "to storage %.2f MB; database %.2f MB, log %.2f MB\n",
                clock.elapsed() / 1000.0, asks, (after.wchar - before.wchar) / 1e6,
                (after.wchar - before.wchar) / 1e6 * perMinute, (after.writeBytes - before.writeBytes) / 1e6,
                QFileInfo(folder.dir.filePath(WatchStore::fileName())).size() / 1e6,
                QFileInfo(folder.dir.filePath(WatchStore::fileName() + QStringLiteral("-wal"))).size() / 1e6);
    w.reset();
    return 0;
}

// A fake back-end: each parcel answers with the state of its kind, at once, as `backend` would;
// every ask is recorded with the fake clock's time.
struct FakeProvider {
    QString backend = QStringLiteral("kuaidi100");
    QList<std::function<void()>> waiting;
    QHash<int, QList<QDateTime>> asked; // by parcel
    const QDateTime* clock = nullptr;

    BookWatch::Transport transport() {
        return [this](const QUrl& url, QObject*, std::function<void(const HttpResult&)> done) {
            const int i = QUrlQuery(url).queryItemValue(QStringLiteral("nu")).mid(3).toInt() - 1000000;
            asked[i].append(*clock);
            const ParcelState s = stateOf(i, *clock);
            HttpResult result;
            result.status = 200;
            result.body = QStringLiteral("<table><tr><th>时间</th><th>地点和跟踪进度</th></tr><tr><td>") +
                          s.latest.time + QStringLiteral("</td><td>") + s.latest.progress +
                          QStringLiteral("</td></tr></table>");
            static const QHash<QString, QByteArray> tokens{{outForDeliveryState, "delivering"},
                                                           {pickupState, "pickup"},
                                                           {deliveredState, "signed"},
                                                           {inTransitState, "transit"}};
            result.headers = {{"X-Zjx-Backend", backend.toLatin1()}, {"X-Zjx-State", tokens.value(s.state)}};
            waiting.append([done, result] { done(result); });
        };
    }
    // Answers what waits; true when something did.
    bool answer() {
        if (waiting.isEmpty())
            return false;
        waiting.takeFirst()();
        QCoreApplication::processEvents();
        return true;
    }
};

WatchPlan::Kind kindOfParcel(int i) {
    const ParcelState s = stateOf(i, today);
    return WatchPlan::kindOf(&s, today);
}

const char* const kindNames[] = {"out for delivery or pickup", "under way", "still", "signed for"};

// Runs the watch on the fake clock from `now` to `end`, waking it every `stepSecs` seconds.
void run(BookWatch& watch, FakeProvider& provider, QDateTime& now, const QDateTime& end, int stepSecs = 5) {
    while (now < end) {
        watch.wake();
        QCoreApplication::processEvents();
        while (provider.answer()) {
        }
        now = now.addSecs(stepSecs);
    }
}

// A day from 00:00 to 24:00 on a fake clock, quiet 22:00-07:00, interval 60 minutes, the parcels
// last asked the evening before.
int simulateDay(int limit, int parcels) {
    QDateTime now(today.date(), QTime(0, 0));
    Clock::setOverride([&now] { return now; });
    ParcelStates states;
    QHash<ParcelKey, ParcelState> known;
    QList<ParcelKey> keys;
    int counts[WatchPlan::KindCount] = {};
    for (int i = 0; i < parcels; ++i) {
        keys << keyOf(i);
        known.insert(keyOf(i), stateOf(i, now.addSecs(-3 * 3600 + i * 7)));
        ++counts[kindOfParcel(i)];
    }
    states.replaceAll(known);
    states.setLedger({QStringLiteral("kuaidi100"), now.date().addDays(-1), 0});
    FakeProvider provider;
    provider.clock = &now;
    BookWatch watch(states);
    watch.setTransport(provider.transport());
    watch.setQuietHours(QTime(22, 0), QTime(7, 0));
    watch.setDailyLimit(limit);
    watch.setMinutes(60);
    watch.setParcels(keys);
    watch.setEnabled(true);
    const WatchCost estimate = watch.cost();
    const QString shares = watch.shareLine();
    const QDateTime start = now;
    run(watch, provider, now, start.addDays(1));
    int byHour[24][WatchPlan::KindCount] = {};
    int byKind[WatchPlan::KindCount] = {};
    qint64 longestUrgentWait = 0;
    const QDateTime wakeUp(start.date(), QTime(7, 0));
    const QDateTime sleep(start.date(), QTime(22, 0));
    int urgentNeverAsked = 0;
    for (int i = 0; i < parcels; ++i) {
        const WatchPlan::Kind kind = kindOfParcel(i);
        const QList<QDateTime> times = provider.asked.value(i);
        for (const QDateTime& t : times) {
            ++byHour[t.time().hour()][kind];
            ++byKind[kind];
        }
        if (kind != WatchPlan::Urgent)
            continue;
        // The longest the parcel waited in the waking hours: from 07:00 to its first ask, between
        // asks, from its last ask to 22:00.
        QDateTime last = wakeUp;
        for (const QDateTime& t : times) {
            longestUrgentWait = std::max(longestUrgentWait, last.secsTo(t));
            last = std::max(last, t);
        }
        longestUrgentWait = std::max(longestUrgentWait, last.secsTo(sleep));
        urgentNeverAsked += times.isEmpty() ? 1 : 0;
    }
    std::printf("== a day, %d parcels (", parcels);
    for (int k = 0; k < WatchPlan::KindCount; ++k)
        std::printf("%s%s %d", k ? ", " : "", kindNames[k], counts[k]);
    std::printf("), limit %d, interval 60 min, quiet 22:00-07:00, back-end kuaidi100\n", limit);
    std::printf("overview before the day: estimate %d billed asks; %s\n", estimate.charged,
                shares.isEmpty() ? "(the limit serves every parcel at its interval)" : qPrintable(shares));
    std::printf("spent (ledger) %d, asks sent %d\n", states.ledger().spent, watch.requestsSent());
    std::printf("asks by kind:");
    for (int k = 0; k < WatchPlan::KindCount; ++k)
        std::printf(" %s %d;", kindNames[k], byKind[k]);
    std::printf("\nasks by hour (urgent/under way/still):");
    for (int h = 0; h < 24; ++h)
        if (byHour[h][0] + byHour[h][1] + byHour[h][2] > 0)
            std::printf(" %02d:%d/%d/%d", h, byHour[h][0], byHour[h][1], byHour[h][2]);
    std::printf("\nlongest wait of a parcel out for delivery (07:00-22:00): %lld min; never asked: %d\n",
                longestUrgentWait / 60, urgentNeverAsked);
    Clock::setOverride({});
    return 0;
}

// Two hours of the watch, the program restarted every 20 minutes: the knowledge goes through the
// database each time, as at a real restart. No parcel may be asked twice within its cadence.
int simulateRestarts(int parcels) {
    QTemporaryDir dir;
    const QString path = dir.filePath(WatchStore::fileName());
    QDateTime now(today.date(), QTime(9, 0));
    Clock::setOverride([&now] { return now; });
    FakeProvider provider;
    provider.backend = QStringLiteral("demo");
    provider.clock = &now;
    QList<ParcelKey> keys;
    for (int i = 0; i < parcels; ++i)
        keys << keyOf(i);
    const QDateTime end = now.addSecs(2 * 3600);
    int restarts = 0;
    while (now < end) {
        auto store = std::make_unique<WatchStore>();
        ParcelStates states;
        states.replaceAll(store->open(path).states);
        QObject::connect(&states, &ParcelStates::changed, store.get(),
                         [&](const ParcelKey& key) { store->put(key, states.find(key)); });
        BookWatch watch(states);
        watch.setTransport(provider.transport());
        watch.setQuietHours(QTime(0, 0), QTime(0, 0));
        watch.setMinutes(60);
        watch.setParcels(keys);
        watch.setEnabled(true);
        run(watch, provider, now, std::min(end, now.addSecs(20 * 60)));
        store->flush();
        ++restarts;
    }
    int asks = 0;
    int tooSoon = 0;
    qint64 shortestGap = -1;
    int mostAsked = 0;
    int neverAsked = 0;
    for (int i = 0; i < parcels; ++i) {
        const QList<QDateTime> times = provider.asked.value(i);
        asks += int(times.size());
        mostAsked = std::max(mostAsked, int(times.size()));
        neverAsked += times.isEmpty() && kindOfParcel(i) != WatchPlan::Finished ? 1 : 0;
        const qint64 cadence = kindOfParcel(i) == WatchPlan::Still ? WatchPlan::quietParcelMs / 1000 : 3600;
        for (int j = 1; j < times.size(); ++j) {
            const qint64 gap = times.at(j - 1).secsTo(times.at(j));
            shortestGap = shortestGap < 0 ? gap : std::min(shortestGap, gap);
            tooSoon += gap < cadence ? 1 : 0;
        }
    }
    std::printf("== two hours, %d parcels, interval 60 min, %d starts 20 minutes apart\n", parcels, restarts);
    std::printf("asks %d (at most %d a parcel); asked again within its cadence: %d; shortest gap %lld min; "
                "parcels never asked: %d\n",
                asks, mostAsked, tooSoon, shortestGap / 60, neverAsked);
    Clock::setOverride({});
    return 0;
}

// The overview of 1,000 parcels at 23:00 on a billed back-end with the default limit, as a picture.
int overviewPicture(const QString& path) {
    QDateTime now(today.date(), QTime(23, 0));
    Clock::setOverride([&now] { return now; });
    Folder folder(1000);
    {
        WatchStore store;
        (void)store.open(folder.dir.filePath(WatchStore::fileName()));
        store.putLedger({QStringLiteral("kuaidi100"), today.date(), 120});
        store.flush();
    }
    MainWindow w;
    w.watchKeeper().setEnabled(true);
    w.show();
    w.openOverview();
    QCoreApplication::processEvents();
    const bool saved = w.overview()->grab().save(path);
    std::printf("%s: %s\n", saved ? "saved" : "not saved", qPrintable(w.overview()->costLabel->text()));
    Clock::setOverride({});
    return saved ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--io")
        return measureWrites(QByteArray(argv[2]).toInt());
    if (argc == 3 && QByteArray(argv[1]) == "--day")
        return simulateDay(QByteArray(argv[2]).toInt(), 1000);
    if (argc == 3 && QByteArray(argv[1]) == "--picture")
        return overviewPicture(QString::fromLocal8Bit(argv[2]));
    if (argc == 2 && QByteArray(argv[1]) == "--restarts")
        return simulateRestarts(1000);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
