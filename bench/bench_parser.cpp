// The parser and the progress-list fill for answers of 10 to 10,000 rows, against one plain
// std::string_view::find scan for "<td>" over the same answer.
//
//   <build>/bin/bench_parser

#include "core/parser.h"
#include "core/textcodec.h"
#include "gui/mainwindow.h"
#include "gui/progresslist.h"
#include "gui/statusstrips.h"
#include "schedule/parcelquery.h"
#include "gui/platform/alertplayer.h"
#include "gui/platform/messagebox.h"
#include "platform/environment.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>

using namespace zjx;

namespace {

QString answerWithRows(int rows) {
    static const QStringList places{QStringLiteral("【上海市】快件已到达 上海转运中心"),
                                    QStringLiteral("【杭州市】快件已从 杭州分拨中心 发出,下一站 上海转运中心"),
                                    QStringLiteral("【北京市】北京朝阳区公司 已收件,收件员:张三")};
    QString html = QStringLiteral("<html><head><title>快递查询</title></head><body><table>"
                                  "<tr><th>时间</th><th>地点和跟踪进度</th></tr>");
    for (int i = 0; i < rows; ++i)
        html += QStringLiteral("<tr><td>2014-05-%1 %2:%3:00</td><td>%4</td></tr>")
                    .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                    .arg(i % 24, 2, 10, QLatin1Char('0'))
                    .arg(i % 60, 2, 10, QLatin1Char('0'))
                    .arg(places.at(i % places.size()));
    return html + QStringLiteral("</table>");
}

void perRow(benchmark::State& state) {
    state.counters["per_row"] = benchmark::Counter(
        double(state.range(0)), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The row count (hx2) and the parse into entries, without the list.
void BM_Parse(benchmark::State& state) {
    const QString answer = answerWithRows(int(state.range(0)));
    for (auto _ : state) {
        QList<ProgressEntry> entries = TrackingParser::parse(answer, TrackingParser::countRows(answer));
        benchmark::DoNotOptimize(entries);
    }
    perRow(state);
}

// The yardstick: one scan for every "<td>" over the answer as it comes off the wire (GBK bytes).
void BM_FindTd(benchmark::State& state) {
    const QByteArray bytes = codec::toGbk(answerWithRows(int(state.range(0))));
    const std::string_view text(bytes.constData(), std::size_t(bytes.size()));
    for (auto _ : state) {
        std::size_t found = 0;
        for (std::size_t at = text.find("<td>"); at != std::string_view::npos; at = text.find("<td>", at + 4))
            ++found;
        benchmark::DoNotOptimize(found);
    }
    perRow(state);
}

// The parse as the window runs it (100 ms after the answer): parse, fill the list in one block,
// colour, count, judge.
void BM_ParseAndFill(benchmark::State& state) {
    QTemporaryDir folder;
    ProgramFolder::setOverride(folder.path());
    MainWindow window;
    window.versionTimer().stop();
    window.strips().clock().stop();
    window.show();
    const QString answer = answerWithRows(int(state.range(0)));
    for (auto _ : state) {
        window.progressList().clear();
        window.parcelQuery().session().answerText = answer;
        window.parcelQuery().session().rowCount = qint16(TrackingParser::countRows(answer));
        const auto start = std::chrono::steady_clock::now();
        window.parcelQuery().parse();
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    if (window.progressList().rowCount() != state.range(0))
        state.SkipWithError("wrong row count");
    perRow(state);
    ProgramFolder::setOverride(QString());
}

BENCHMARK(BM_Parse)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindTd)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseAndFill)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Prints the figures and then the ratios the parser is held to.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds; // per iteration, by run name

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                seconds[run.benchmark_name()] = (run.real_accumulated_time / double(run.iterations));
        ConsoleReporter::ReportRuns(runs);
    }
};

double lookup(const RatioReporter& r, const std::string& name) {
    const auto it = r.seconds.find(name);
    return it == r.seconds.end() ? 0.0 : it->second;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MessageBox::setHandler([](const MessageBox::Request&) { return MessageBox::Answer::Ok; }); // no box on screen
    AlertPlayer::setHandler([](const AlertPlayer&, const QString&) {});                        // no sound
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nratios\n");
    for (const char* kind : {"BM_Parse", "BM_ParseAndFill"}) {
        const std::string base = kind;
        const std::string suffix = base == "BM_ParseAndFill" ? "/manual_time" : "";
        const double at100 = lookup(reporter, base + "/100" + suffix) / 100;
        const double at10000 = lookup(reporter, base + "/10000" + suffix) / 10000;
        if (at100 > 0 && at10000 > 0)
            std::printf("%-16s per-row time at 10,000 rows / at 100 rows: %.2f (target <= 1.5)\n", kind,
                        at10000 / at100);
    }
    for (const char* rows : {"10", "100", "1000", "10000"}) {
        const double parse = lookup(reporter, std::string("BM_Parse/") + rows);
        const double scan = lookup(reporter, std::string("BM_FindTd/") + rows);
        if (parse > 0 && scan > 0)
            std::printf("parse / find scan at %5s rows: %.2f (target <= 8)\n", rows, parse / scan);
    }
    return 0;
}
