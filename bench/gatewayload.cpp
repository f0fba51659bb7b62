// gatewayload: how the gateway of zjx-service holds up on loopback. Starts a kuaidi100 fake and a
// zjx-service configured for it, then measures (1) the latency of a cached answer with 100
// concurrent clients and (2) the service's resident memory as 10,000 and more distinct parcels go
// through its cache. Prints figures; it is not a test and has no pass mark.

#include "fakes/providerfakes.h"
#include "gateway.h"
#include "procstatus.h"
#include "providers.h"
#include "trackingpages.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

constexpr const char* kKey = zjx::service::kAccessKey;

// User plus system CPU time of a process, in seconds.
double cpuSeconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

std::string target(const std::string& number) {
    return "/?com=shentong&nu=" + number + "&id=" + kKey + "&type=html";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int clients = 100, perClient = 200;

    zjx::fakes::FakeProvider fake(zjx::fakes::FakeKind::Kuaidi100);
    if (!fake.start()) {
        std::fprintf(stderr, "gatewayload: the fake does not start\n");
        return 1;
    }
    QTemporaryDir dir;
    const QString conf = dir.filePath("zjx-service.conf");
    QFile f(conf);
    f.open(QIODevice::WriteOnly);
    f.write(QStringLiteral("[gateway]\nbackend = kuaidi100\n[kuaidi100]\ncustomer = %1\nkey = %2\nurl = %3\n")
                .arg(QString::fromStdString(zjx::fakes::FakeSecrets{}.customer),
                     QString::fromStdString(zjx::fakes::FakeSecrets{}.key), fake.url())
                .toUtf8());
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);

    // A free port, found by binding to port 0. The service's request log goes nowhere: nobody
    // would read it while the clients run, and a full pipe would stop the service.
    int port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    QProcess service;
    service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service.setStandardOutputFile(QProcess::nullDevice());
    service.start(QStringLiteral(ZJX_SERVICE_PATH), {"--config", conf, "--port", QString::number(port)});
    httplib::Client warm("127.0.0.1", port);
    bool up = false;
    for (int i = 0; i < 100 && !up; ++i) {
        up = bool(warm.Get("/tansoftjc/zjx/jc.txt"));
        if (!up)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!up) {
        std::fprintf(stderr, "gatewayload: zjx-service did not start\n");
        return 1;
    }
    std::printf("zjx-service (pid %lld) on port %d, back-end kuaidi100 at %s\n", service.processId(), port,
                fake.url().toUtf8().constData());
    std::fflush(stdout);

    // 1. Cached answer latency: the first request fills the cache, then 100 clients ask at once.
    if (auto r = warm.Get(target("ZJX1234567")); !r || r->status != 200) {
        std::fprintf(stderr, "gatewayload: the first answer failed\n");
        return 1;
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    // pauseMs 0: every client asks again as soon as it has its answer (the service saturated, so the
    // latency is mostly waiting in line); otherwise each client pauses between requests.
    const auto latencyRun = [&](int pauseMs) {
        std::vector<std::vector<double>> micros(clients);
        threads.clear();
        const double cpuBefore = cpuSeconds(service.processId());
        const auto started = std::chrono::steady_clock::now();
        for (int c = 0; c < clients; ++c)
            threads.emplace_back([&, c] {
                httplib::Client client("127.0.0.1", port);
                client.set_keep_alive(true);
                if (pauseMs > 0) // spread the clients over one pause
                    std::this_thread::sleep_for(std::chrono::microseconds(c * pauseMs * 1000 / clients));
                for (int i = 0; i < perClient; ++i) {
                    const auto t0 = std::chrono::steady_clock::now();
                    auto r = client.Get(target("ZJX1234567"));
                    const auto t1 = std::chrono::steady_clock::now();
                    if (!r || r->status != 200)
                        ++failures;
                    micros[size_t(c)].push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
                    if (pauseMs > 0)
                        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
                }
            });
        for (std::thread& t : threads)
            t.join();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::vector<double> all;
        for (const auto& v : micros)
            all.insert(all.end(), v.begin(), v.end());
        std::sort(all.begin(), all.end());
        const auto pct = [&](double p) {
            return all[std::min(all.size() - 1, size_t(p * double(all.size())))] / 1000.0;
        };
        std::printf("cached answer, %d clients x %d requests, pause %d ms: p50 %.2f ms, p90 %.2f ms, p99 %.2f ms, "
                    "max %.2f ms, %.0f requests/s, service CPU %.1f us per request, %d failed; upstream requests "
                    "so far %d\n",
                    clients, perClient, pauseMs, pct(0.50), pct(0.90), pct(0.99), all.back() / 1000.0,
                    double(all.size()) / seconds,
                    (cpuSeconds(service.processId()) - cpuBefore) * 1e6 / double(all.size()), failures.load(),
                    fake.requests());
        std::fflush(stdout);
    };
    latencyRun(0);
    latencyRun(20);
    latencyRun(100);

    // 2. Memory over distinct parcels (the cache keeps 10,000; older ones leave).
    std::printf("RSS after the latency run: %ld KiB\n", zjx::bench::residentKiB(service.processId()));
    std::atomic<int> next{0};
    for (const int goal : {2500, 5000, 10000, 20000, 30000}) {
        threads.clear();
        for (int c = 0; c < 8; ++c)
            threads.emplace_back([&] {
                httplib::Client client("127.0.0.1", port);
                client.set_keep_alive(true);
                for (int n; (n = next.fetch_add(1)) < goal;)
                    if (auto r = client.Get(target("ZJX" + std::to_string(10000000 + n))); !r || r->status != 200)
                        ++failures;
            });
        for (std::thread& t : threads)
            t.join();
        next = goal;
        std::printf("RSS with %5d distinct parcels asked: %ld KiB (failures so far %d)\n", goal,
                    zjx::bench::residentKiB(service.processId()), failures.load());
        std::fflush(stdout);
    }
    // 3. The gateway's own share of a cached answer, in process (no HTTP): the cost of the lookup.
    {
        zjx::gateway::ProviderBackend backend(
            std::make_unique<zjx::gateway::Kuaidi100Client>(zjx::gateway::ClientOptions{QUrl(fake.url()), 20000, {}},
                                                            QString::fromStdString(zjx::fakes::FakeSecrets{}.customer),
                                                            QString::fromStdString(zjx::fakes::FakeSecrets{}.key)),
            {}, {}, {});
        bool filled = false;
        backend.answer({"shentong", "ZJX1234567", kKey}, [&](const zjx::gateway::GatewayAnswer&) { filled = true; });
        while (!filled)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        constexpr int rounds = 200000;
        qint64 bytes = 0;
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < rounds; ++i)
            backend.answer({"shentong", "ZJX1234567", kKey},
                           [&](const zjx::gateway::GatewayAnswer& a) { bytes += a.reply.body.size(); });
        const double ns =
            std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / rounds;
        std::printf("gateway lookup of a cached answer, in process: %.0f ns per answer (%lld bytes served)\n", ns,
                    bytes);
    }
    service.terminate();
    service.waitForFinished(5000);
    return 0;
}
