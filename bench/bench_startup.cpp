// Start-up cost of the main window against a bare Qt window with a tree widget: construction,
// first show and first paint, with the program's own folder holding a 50-parcel book.
#include "gui/mainwindow.h"
#include "gui/platform/messagebox.h"
#include "platform/environment.h"
#include "platform/gatewaychild.h"
#include "stress/procstatus.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <sys/resource.h>

namespace {

void paintOnce(QWidget& w) {
    w.show();
    QCoreApplication::processEvents();
    benchmark::DoNotOptimize(w.grab());
}

void BM_BareWindowWithTree(benchmark::State& state) {
    for (auto _ : state) {
        QWidget w;
        w.resize(753, 473);
        auto* tree = new QTreeWidget(&w);
        tree->setGeometry(16, 152, 721, 265);
        tree->setHeaderLabels({QStringLiteral("Num"), QStringLiteral("时间"), QStringLiteral("物流进度")});
        paintOnce(w);
    }
}
BENCHMARK(BM_BareWindowWithTree)->Unit(benchmark::kMillisecond);

void BM_MainWindow(benchmark::State& state) {
    QTemporaryDir dir;
    QFile book(dir.filePath(QStringLiteral("wlnum.ini")));
    if (book.open(QIODevice::WriteOnly))
        for (int i = 0; i < 50; ++i)
            book.write(QByteArray::number(1000000 + i) + "|UPS|parcel" + QByteArray::number(i) + "\r\n");
    book.close();
    zjx::ProgramFolder::setOverride(dir.path());
    zjx::MessageBox::setHandler([](const zjx::MessageBox::Request&) { return zjx::MessageBox::Answer::Ok; });
    for (auto _ : state) {
        zjx::MainWindow w;
        paintOnce(w);
    }
}
BENCHMARK(BM_MainWindow)->Unit(benchmark::kMillisecond);

} // namespace

// Processor time of this process so far (user and system), which a busy machine does not inflate.
long cpuMs() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

// One cold start in a fresh process: "--cold bare" or "--cold main" prints milliseconds from the
// start of main() to the first paint, and the resident memory then. "--cold gateway" is "main" with
// the program's own service child, as the program has it without a tracking host, and also prints
// when the service's port arrived; "--cold gateway-early" starts the child before the window.
int coldStart(const QByteArray& which, int argc, char** argv) {
    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    zjx::GatewayChild gateway;
    if (which == "gateway-early")
        gateway.start(QCoreApplication::applicationDirPath() + QStringLiteral("/zjx-service"));
    std::unique_ptr<QWidget> w;
    if (which.startsWith("main") || which.startsWith("gateway")) {
        zjx::MessageBox::setHandler([](const zjx::MessageBox::Request&) { return zjx::MessageBox::Answer::Ok; });
        w = std::make_unique<zjx::MainWindow>();
    } else {
        w = std::make_unique<QWidget>();
        w->resize(753, 473);
        auto* tree = new QTreeWidget(w.get());
        tree->setGeometry(16, 152, 721, 265);
        tree->setHeaderLabels({QStringLiteral("Num"), QStringLiteral("时间"), QStringLiteral("物流进度")});
    }
    paintOnce(*w);
    std::printf("%s: first paint after %lld ms (%ld ms CPU), resident %ld KiB\n", which.constData(), clock.elapsed(),
                cpuMs(), zjx::stress::residentKiB());
    if (which.startsWith("gateway")) {
        // The program starts its child right after the first paint.
        gateway.start(QCoreApplication::applicationDirPath() + QStringLiteral("/zjx-service"));
        const bool ready = gateway.waitForAddress(5000);
        std::printf("%s: %s after %lld ms\n", which.constData(), ready ? "port in" : "no port", clock.elapsed());
    }
    return 0;
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 3 && QByteArray(argv[1]) == "--cold")
        return coldStart(argv[2], 1, argv);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
