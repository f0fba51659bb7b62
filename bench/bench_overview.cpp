// The overview with a book of 1,000 parcels and their known states: opening it, filtering per
// keystroke, writing the state file, the memory it adds; and one watch interval against a
// counting local server (requests per parcel, none for signed-for or archived parcels).
#include "gui/mainwindow.h"
#include "gui/overviewwindow.h"
#include "gui/platform/messagebox.h"
#include "platform/environment.h"
#include "stress/procstatus.h"
#include "watch/bookwatch.h"
#include "watch/statefile.h"
#include "watch/watchplan.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QStringEncoder>
#include <QTableView>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int parcels = 1000;

QString record(int i) {
    return QStringLiteral("ZJX%1|申通快递|包裹%2").arg(1000000 + i).arg(i);
}

// A program folder with the book and a state file that knows every parcel (or none).
struct Folder {
    QTemporaryDir dir;
    explicit Folder(bool withStates = true) {
        QFile book(dir.filePath(QStringLiteral("wlnum.ini")));
        QHash<zjx::ParcelKey, zjx::ParcelState> states;
        if (book.open(QIODevice::WriteOnly))
            for (int i = 0; i < parcels; ++i) {
                book.write(QStringEncoder("GBK").encode(record(i) + QStringLiteral("\r\n")));
                zjx::ParcelState s;
                s.state = i % 3 == 0 ? zjx::deliveredState : QStringLiteral("运送中");
                s.latest = {QStringLiteral("2026-12-07 10:%1:00").arg(i % 60, 2, 10, QLatin1Char('0')),
                            QStringLiteral("【上海市】快件已到达 上海转运中心，下一站 杭州转运中心 %1").arg(i)};
                s.askedAt = QDateTime(QDate(2026, 12, 7), QTime(9, 0)).addSecs(i);
                s.unseen = i % 7 == 0;
                states.insert({QStringLiteral("ZJX%1").arg(1000000 + i), QStringLiteral("申通快递")}, s);
            }
        book.close();
        if (withStates)
            (void)zjx::StateFile::save(dir.filePath(zjx::StateFile::fileName()), states);
        zjx::ProgramFolder::setOverride(dir.path());
        zjx::MessageBox::setHandler([](const zjx::MessageBox::Request&) { return zjx::MessageBox::Answer::Ok; });
    }
};

void BM_OverviewOpens(benchmark::State& state) {
    Folder folder;
    zjx::MainWindow w;
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
BENCHMARK(BM_OverviewOpens)->Unit(benchmark::kMillisecond);

// One keystroke: the filter follows and the table repaints.
void BM_FilterKeystroke(benchmark::State& state) {
    Folder folder;
    zjx::MainWindow w;
    w.openOverview();
    zjx::OverviewWindow& o = *w.overview();
    const QStringList typed{QStringLiteral("包"), QStringLiteral("包裹"), QStringLiteral("包裹9"),
                            QStringLiteral("包裹99"), QString()};
    int k = 0;
    for (auto _ : state) {
        o.search->setText(typed.at(k++ % typed.size()));
        benchmark::DoNotOptimize(o.table->viewport()->grab());
    }
}
BENCHMARK(BM_FilterKeystroke)->Unit(benchmark::kMillisecond);

void BM_StateFileWrite(benchmark::State& state) {
    Folder folder;
    const QString path = folder.dir.filePath(zjx::StateFile::fileName());
    const QHash<zjx::ParcelKey, zjx::ParcelState> states = zjx::StateFile::load(path).states;
    for (auto _ : state)
        benchmark::DoNotOptimize(zjx::StateFile::save(path, states).ok());
    state.counters["bytes"] = double(QFile(path).size());
}
BENCHMARK(BM_StateFileWrite)->Unit(benchmark::kMillisecond);

// The memory the book's knowledge and the open overview add to the main window; run once with
// and once without the state file, each in a fresh process.
int memoryGrowth(bool withStates) {
    Folder folder(withStates);
    const long bare = zjx::stress::residentKiB();
    auto w = std::make_unique<zjx::MainWindow>();
    w->show();
    QCoreApplication::processEvents();
    const long withBook = zjx::stress::residentKiB();
    w->openOverview();
    QCoreApplication::processEvents();
    benchmark::DoNotOptimize(w->overview()->grab());
    const long withOverview = zjx::stress::residentKiB();
    std::printf("memory (%s): main window with %d parcels %ld KiB (%+ld KiB); the overview open adds %+ld KiB\n",
                withStates ? "states known" : "no state file", parcels, withBook, withBook - bare,
                withOverview - withBook);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--memory")
        return memoryGrowth(QByteArray(argv[2]) == "states");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
