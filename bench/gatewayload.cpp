// gatewayload: how the gateway of zjx-service holds up on loopback. Starts a kuaidi100 fake and a
// zjx-service configured for it, then measures (1) the latency of a cached answer with 100
// concurrent clients and (2) the service's resident memory as 10,000 and more distinct parcels go
// through its cache; (4) repeats the attacks of a hostile provider and of a client pushing parcels
// (see attacks()). Prints figures; it is not a test and has no pass mark.
//
//   gatewayload            everything
//   gatewayload --attacks  only the attacks

#include "fakes/hostileprovider.h"
#include "fakes/providerfakes.h"
#include "gateway.h"
#include "procstatus.h"
#include "providers.h"
#include "trackingpages.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
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

// A zjx-service on a free port with this configuration; its request log goes nowhere.
struct Service {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    int port = 0;
};

Service startService(const QTemporaryDir& dir, const QString& configText) {
    const QString conf = dir.filePath(QStringLiteral("zjx-%1.conf").arg(QDateTime::currentMSecsSinceEpoch()));
    QFile f(conf);
    f.open(QIODevice::WriteOnly);
    f.write(configText.toUtf8());
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    Service s;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        s.port = probe.serverPort();
    }
    s.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    s.process->setStandardOutputFile(QProcess::nullDevice());
    s.process->start(QStringLiteral(ZJX_SERVICE_PATH), {"--config", conf, "--port", QString::number(s.port)});
    httplib::Client warm("127.0.0.1", s.port);
    for (int i = 0; i < 100 && !warm.Get("/tansoftjc/zjx/jc.txt"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return s;
}

// 4. Attacks against a service whose provider is hostile (tests/fakes/hostileprovider.h) and
// against its queue, each with an innocent client asking a new parcel (one upstream query through
// the same provider) every 250 ms: its latency, its failures and the service's peak memory.
void attacks() {
    using namespace std::chrono;
    zjx::fakes::FakeProvider honest(zjx::fakes::FakeKind::Kuaidi100);
    zjx::fakes::HostileProvider hostile(honest);
    if (!honest.start() || !hostile.start()) {
        std::fprintf(stderr, "gatewayload: the fakes do not start\n");
        return;
    }
    QTemporaryDir dir;
    const zjx::fakes::FakeSecrets secrets;
    const Service service = startService(
        dir, QStringLiteral("[gateway]\nbackend = kuaidi100\n[kuaidi100]\ncustomer = %1\nkey = %2\nurl = %3\n")
                 .arg(QString::fromStdString(secrets.customer), QString::fromStdString(secrets.key), hostile.url()));
    const qint64 pid = service.process->processId();
    std::printf("\nattacks: zjx-service (pid %lld) on port %d, kuaidi100 at a hostile provider %s; deadline 20 s\n",
                pid, service.port, hostile.url().toUtf8().constData());
    std::atomic<int> serial{0};
    const auto fresh = [&](const char* word) { return word + std::to_string(1000000 + serial++); };

    // `attacker` runs in `threads` threads until told to stop; it returns the status it got.
    const auto run = [&](const char* name, int threads, int seconds, const std::function<int(const std::string&)>& ask,
                         const char* word) {
        std::atomic<bool> stop{false};
        std::atomic<long> peak{zjx::bench::residentKiB(pid)};
        const long before = peak;
        const int upstreamBefore = honest.requests();
        std::mutex m;
        std::map<int, int> statuses;
        std::vector<double> innocentMs;
        int innocentFailed = 0;
        std::vector<std::thread> all;
        all.emplace_back([&] { // memory
            while (!stop) {
                peak = std::max(peak.load(), zjx::bench::residentKiB(pid));
                std::this_thread::sleep_for(milliseconds(20));
            }
        });
        all.emplace_back([&] { // the innocent client
            httplib::Client client("127.0.0.1", service.port);
            client.set_read_timeout(60, 0);
            while (!stop) {
                const auto t0 = steady_clock::now();
                auto r = client.Get(target(fresh("ZJXINNO")));
                const double ms = duration<double, std::milli>(steady_clock::now() - t0).count();
                const std::lock_guard lock(m);
                innocentMs.push_back(ms);
                innocentFailed += !r || r->status != 200;
                std::this_thread::sleep_for(milliseconds(250));
            }
        });
        const auto t0 = steady_clock::now();
        std::vector<std::thread> attackers;
        for (int i = 0; i < threads; ++i)
            attackers.emplace_back([&] {
                while (!stop) {
                    const int status = ask(fresh(word));
                    const std::lock_guard lock(m);
                    ++statuses[status];
                }
            });
        std::this_thread::sleep_for(seconds * 1s);
        stop = true;
        for (std::thread& t : attackers)
            t.join();
        const double attackSeconds = duration<double>(steady_clock::now() - t0).count();
        for (std::thread& t : all)
            t.join();
        std::sort(innocentMs.begin(), innocentMs.end());
        std::string answers;
        for (const auto& [status, count] : statuses)
            answers += std::to_string(count) + " x " + std::to_string(status) + " ";
        std::printf("%-26s %2d attackers for %4.1f s: %sinnocent: %zu asked, %d failed, p50 %.0f ms, max %.0f ms; RSS "
                    "%ld -> peak %ld KiB; upstream +%d; thief got %d\n",
                    name, threads, attackSeconds, answers.c_str(), innocentMs.size(), innocentFailed,
                    innocentMs.empty() ? 0.0 : innocentMs[innocentMs.size() / 2],
                    innocentMs.empty() ? 0.0 : innocentMs.back(), before, peak.load(),
                    honest.requests() - upstreamBefore, hostile.stolen());
        std::fflush(stdout);
    };
    const auto get = [&](const std::string& number) {
        httplib::Client client("127.0.0.1", service.port);
        client.set_read_timeout(60, 0);
        auto r = client.Get(target(number));
        return r ? r->status : -1;
    };
    run("nothing (baseline)", 0, 5, get, "");
    run("redirect to a thief", 4, 5, get, "REDIRECT307X");
    run("100 MB body", 4, 5, get, "HUGE");
    run("endless body", 4, 5, get, "ENDLESS");
    run("10^6 events", 4, 5, get, "MANY1000000X");
    run("1.39 x 10^6 bare events", 4, 5, get, "BARE1390000X");
    run("a byte every 5 s", 16, 25, get, "DRIP"); // each ends at the 20 s deadline

    // The queue: the provider now takes a second per answer.
    honest.setDelayMs(1000);
    run("pushed parcels, waiting", 300, 10, get, "ZJXPUSH");
    // Clients that leave at once: with the server telling the gateway, their queries are dropped.
    run(
        "pushed parcels, leaving", 50, 10,
        [&](const std::string& number) {
            httplib::Client client("127.0.0.1", service.port);
            client.set_read_timeout(0, 20000);
            auto r = client.Get(target(number));
            return r ? r->status : 0; // 0: left before the answer
        },
        "ZJXGONE");
    honest.setDelayMs(0);
    service.process->terminate();
    service.process->waitForFinished(5000);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && std::string(argv[1]) == "--attacks") {
        attacks();
        return 0;
    }
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
    attacks();
    return 0;
}
