// gatewayload: how the gateway of zjx-service holds up on loopback. Starts a kuaidi100 fake and a
// zjx-service configured for it, then measures (1) the latency of a cached answer with 100
// concurrent clients and (2) the service's resident memory as 10,000 and more distinct parcels go
// through its cache. Prints figures; it is not a test and has no pass mark.
//
// `gatewayload attacks [SERVICE]` instead repeats the review's attacks on a zjx-service (the one
// built beside it, or SERVICE, e.g. an older build; `--open` runs it without a secret file) while
// an innocent client with the secret asks every 100 ms, and prints that client's latency and the
// service's memory under each attack.
//
// `gatewayload keepalive [ROUNDS [SERVICE]]` measures what the program's own client does, a kept-alive
// connection asking one request after the other (latency per request), and 100 kept-alive
// connections asking as fast as they are answered (answers per second), against the service and,
// in the same run and in alternating rounds, nginx with one worker serving the same page (when
// /usr/sbin/nginx is installed; `apt-get install nginx`).
//
// `gatewayload autonumber-attacks [SERVICE]` sends the hostile provider's answers (redirects, huge,
// endless and dripping bodies) to the number recognition, and numbers from clients that close.
//
// `gatewayload provider-attacks` repeats the attacks of a hostile provider (redirects, huge,
// endless and dripping answers, a million events) and of pushed parcels against a zjx-service
// whose provider is tests/fakes/hostileprovider.h, with an innocent client asking a new parcel
// every 250 ms.

#include "fakes/hostileprovider.h"
#include "fakes/providerfakes.h"
#include "fakes/recognitionfakes.h"
#include "gateway.h"
#include "keepaliveload.h"
#include "providers.h"
#include "stress/loopbackflood.h"
#include "stress/procstatus.h"
#include "trackingpages.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
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

#include <sys/resource.h>
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

// ---- attacks ----

const std::string kSecret = "5b0e7c2d9a4f8136e2c7d0b4a9f1e6c3";

// One request on a fresh connection; the answer's bytes (empty on failure). `halfClose` ends the
// sending side right after the request; `dropAfterMs` >= 0 closes without reading.
std::string rawRequest(int port, const std::string& target, bool secret, bool halfClose = false, int dropAfterMs = -1) {
    std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
    if (secret)
        request += "X-Zjx-Secret: " + kSecret + "\r\n";
    request += "Connection: close\r\n\r\n";
    return zjx::stress::exchange(port, request, 10, halfClose, dropAfterMs);
}

int statusOf(const std::string& answer) {
    // An interim "100 Continue" may come first.
    const size_t at = answer.rfind("HTTP/1.1 ");
    return at == std::string::npos ? 0 : std::atoi(answer.c_str() + at + 9);
}

struct Service {
    QProcess process;
    int port = 0;
    ~Service() {
        process.terminate();
        process.waitForFinished(3000);
    }
};

// Starts SERVICE on a free port with `conf`, with the secret file unless `open`; `softLimit` > 0
// starts it with that soft descriptor limit (a desktop session's usual 1,024), and that hard limit
// too when `hardToo` (as `prlimit --nofile=N:N` does).
bool startService(Service& s, const QString& program, const QString& conf, const QString& secretFile, bool open,
                  rlim_t softLimit = 0, bool hardToo = false) {
    QStringList args{"--config", conf, "--port", "0"};
    if (!open)
        args << "--secret-file" << secretFile;
    s.process.setChildProcessModifier([softLimit, hardToo] {
        rlimit l{};
        if (softLimit > 0 && ::getrlimit(RLIMIT_NOFILE, &l) == 0) {
            l.rlim_cur = softLimit;
            if (hardToo)
                l.rlim_max = softLimit;
            ::setrlimit(RLIMIT_NOFILE, &l);
        }
    });
    s.process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    s.process.start(program, args);
    if (!s.process.waitForReadyRead(5000))
        return false;
    const QByteArray line = s.process.readLine();
    const qsizetype colon = line.indexOf(':', line.indexOf("//"));
    s.port = line.mid(colon + 1, line.indexOf(' ', colon) - colon - 1).toInt();
    // The request log is read and dropped on a thread of its own in the caller's loop.
    QObject::connect(&s.process, &QProcess::readyReadStandardOutput, &s.process, [&s] { s.process.readAll(); });
    return s.port > 0;
}

struct Innocent {
    std::vector<double> ms;
    int failed = 0;
};

// The program's side: a request with the secret every 100 ms for `seconds`, timed.
Innocent innocentClient(int port, double seconds, const std::string& target) {
    Innocent r;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        const auto t0 = std::chrono::steady_clock::now();
        const std::string answer = rawRequest(port, target, true);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        if (statusOf(answer) == 200)
            r.ms.push_back(ms);
        else
            ++r.failed;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::sort(r.ms.begin(), r.ms.end());
    return r;
}

// Runs `attack` on its thread while the innocent client asks; the Qt loop keeps reading the log.
void underAttack(const char* title, Service& s, const std::function<void(std::atomic<bool>&)>& attack, double seconds,
                 const std::function<std::string()>& extra = {}) {
    const long rssBefore = zjx::stress::residentKiB(s.process.processId());
    const double cpuBefore = cpuSeconds(s.process.processId());
    std::atomic<bool> stop{false};
    std::thread attacker([&] { attack(stop); });
    Innocent innocent;
    std::atomic<bool> victimDone{false};
    std::thread victim([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500)); // the attack is under way
        innocent = innocentClient(s.port, seconds, "/tansoftjc/zjx/jc.txt");
        victimDone = true;
    });
    long rssPeak = rssBefore;
    while (!victimDone) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        rssPeak = std::max(rssPeak, zjx::stress::residentKiB(s.process.processId()));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    victim.join();
    const long rssEnd = zjx::stress::residentKiB(s.process.processId());
    stop = true;
    attacker.join();
    const auto pct = [&](double p) {
        return innocent.ms.empty() ? -1.0
                                   : innocent.ms[std::min(innocent.ms.size() - 1, size_t(p * innocent.ms.size()))];
    };
    std::printf("%s:\n  innocent client: %zu answered, %d failed or refused, p50 %.1f ms, max %.1f ms\n"
                "  service: RSS %ld -> %ld KiB (peak %ld), CPU %.2f s over the attack%s\n",
                title, innocent.ms.size(), innocent.failed, pct(0.5), innocent.ms.empty() ? -1.0 : innocent.ms.back(),
                rssBefore, rssEnd, std::max(rssPeak, rssEnd), cpuSeconds(s.process.processId()) - cpuBefore,
                extra ? ("\n  " + extra()).c_str() : "");
    std::fflush(stdout);
}

int runAttacks(const QString& program, bool open) {
    rlimit own{};
    ::getrlimit(RLIMIT_NOFILE, &own);
    own.rlim_cur = own.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &own);
    zjx::fakes::FakeProvider fake(zjx::fakes::FakeKind::Kuaidi100);
    fake.start();
    fake.setDelayMs(300); // a provider that takes its time, so queued work is visible
    QTemporaryDir dir;
    const QString conf = dir.filePath("zjx-service.conf");
    const QString secretFile = dir.filePath("secret");
    for (const auto& [path, text] :
         {std::pair{conf,
                    QStringLiteral("[gateway]\nbackend = kuaidi100\n[kuaidi100]\ncustomer = %1\nkey = %2\nurl = %3\n")
                        .arg(QString::fromStdString(zjx::fakes::FakeSecrets{}.customer),
                             QString::fromStdString(zjx::fakes::FakeSecrets{}.key), fake.url())},
          {secretFile, QString::fromStdString(kSecret)}}) {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(text.toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    std::printf("attacks on %s (%s)\n", program.toUtf8().constData(), open ? "no secret" : "with a secret file");

    { // 1. Another local user: paid queries and the victim's cached pages, without the secret.
        Service s;
        if (!startService(s, program, conf, secretFile, open))
            return 1;
        rawRequest(s.port, target("ZJX7000000"), true); // the victim's parcel, now cached
        const int before = fake.requests();
        std::atomic<int> served{0};
        underAttack(
            "1. another user asks without the secret (50 new parcels, then the victim's cached one, x20)", s,
            [&](std::atomic<bool>& stop) {
                for (int i = 0; i < 50 && !stop; ++i)
                    served += statusOf(rawRequest(s.port, target("ZJX71" + std::to_string(100000 + i)), false)) == 200;
                for (int i = 0; i < 20 && !stop; ++i)
                    served += statusOf(rawRequest(s.port, target("ZJX7000000"), false)) == 200;
            },
            3,
            [&] {
                return "attacker: " + std::to_string(served.load()) + " of 70 answered, " +
                       std::to_string(fake.requests() - before) + " provider queries made for it";
            });
    }
    for (const rlim_t soft : {rlim_t(0), rlim_t(1024), rlim_t(64)}) {
        // 6. Connection flood: more silent sockets than the cap, each back as soon as it is dropped.
        Service s;
        if (!startService(s, program, conf, secretFile, open, soft, soft == 64))
            return 1;
        std::atomic<long> reconnects{0};
        const int sockets = soft == 64 ? 500 : 1500;
        const std::string title =
            "6. flood of " + std::to_string(sockets) + " reconnecting silent sockets" +
            std::string(soft == 1024 ? ", service started with a soft limit of 1,024 descriptors"
                        : soft == 64 ? ", service started under prlimit --nofile=64:64"
                                     : "");
        underAttack(
            title.c_str(), s,
            [&](std::atomic<bool>& stop) { zjx::stress::reconnectingFlood(s.port, sockets, stop, &reconnects); }, 5,
            [&] { return "attacker reconnected " + std::to_string(reconnects.load()) + " times"; });
    }
    { // 7. Pushed parcels whose clients leave at once.
        Service s;
        if (!startService(s, program, conf, secretFile, open))
            return 1;
        const int before = fake.requests();
        underAttack(
            "7. 300 tracking requests for new parcels, each client gone after 20 ms (no secret needed "
            "when the service is open; sent with the secret otherwise)",
            s,
            [&](std::atomic<bool>& stop) {
                std::vector<std::thread> pushers;
                for (int t = 0; t < 10; ++t)
                    pushers.emplace_back([&, t] {
                        for (int i = 0; i < 30 && !stop; ++i)
                            rawRequest(s.port, target("ZJX72" + std::to_string(100000 + t * 100 + i)), true, false, 20);
                    });
                for (std::thread& p : pushers)
                    p.join();
            },
            4, [&] { return "provider queries made for gone clients: " + std::to_string(fake.requests() - before); });
    }
    { // 9. Clients that end their sending side after the request.
        Service s;
        if (!startService(s, program, conf, secretFile, open))
            return 1;
        std::atomic<int> answered{0};
        underAttack(
            "9. 100 clients half-close after their request (new parcels, answered after the provider)", s,
            [&](std::atomic<bool>&) {
                std::vector<std::thread> clients;
                for (int t = 0; t < 10; ++t)
                    clients.emplace_back([&, t] {
                        for (int i = 0; i < 10; ++i)
                            answered +=
                                statusOf(rawRequest(s.port, target("ZJX73" + std::to_string(100000 + t * 100 + i)),
                                                    true, true)) == 200;
                    });
                for (std::thread& c : clients)
                    c.join();
            },
            3, [&] { return "half-closed clients answered: " + std::to_string(answered.load()) + " of 100"; });
    }
    return 0;
}

// A zjx-service on a free port with this configuration; its request log goes nowhere.
struct OpenService {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    int port = 0;
};

OpenService startOpenService(const QTemporaryDir& dir, const QString& configText,
                             const QString& program = QStringLiteral(ZJX_SERVICE_PATH)) {
    const QString conf = dir.filePath(QStringLiteral("zjx-%1.conf").arg(QDateTime::currentMSecsSinceEpoch()));
    QFile f(conf);
    f.open(QIODevice::WriteOnly);
    f.write(configText.toUtf8());
    f.close();
    f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    OpenService s;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        s.port = probe.serverPort();
    }
    s.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    s.process->setStandardOutputFile(QProcess::nullDevice());
    s.process->start(program, {"--config", conf, "--port", QString::number(s.port)});
    httplib::Client warm("127.0.0.1", s.port);
    for (int i = 0; i < 100 && !warm.Get("/tansoftjc/zjx/jc.txt"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return s;
}

// Attacks against a service whose provider is hostile (tests/fakes/hostileprovider.h) and
// against its queue, each with an innocent client asking a new parcel (one upstream query through
// the same provider) every 250 ms: its latency, its failures and the service's peak memory.
void providerAttacks() {
    using namespace std::chrono;
    zjx::fakes::FakeProvider honest(zjx::fakes::FakeKind::Kuaidi100);
    zjx::fakes::HostileProvider hostile(honest);
    if (!honest.start() || !hostile.start()) {
        std::fprintf(stderr, "gatewayload: the fakes do not start\n");
        return;
    }
    QTemporaryDir dir;
    const zjx::fakes::FakeSecrets secrets;
    const OpenService service = startOpenService(
        dir, QStringLiteral("[gateway]\nbackend = kuaidi100\n[kuaidi100]\ncustomer = %1\nkey = %2\nurl = %3\n")
                 .arg(QString::fromStdString(secrets.customer), QString::fromStdString(secrets.key), hostile.url()));
    const qint64 pid = service.process->processId();
    std::printf(
        "provider attacks: zjx-service (pid %lld) on port %d, kuaidi100 at a hostile provider %s; deadline 20 s\n", pid,
        service.port, hostile.url().toUtf8().constData());
    std::atomic<int> serial{0};
    const auto fresh = [&](const char* word) { return word + std::to_string(1000000 + serial++); };

    // `attacker` runs in `threads` threads until told to stop; it returns the status it got.
    const auto run = [&](const char* name, int threads, int seconds, const std::function<int(const std::string&)>& ask,
                         const char* word) {
        std::atomic<bool> stop{false};
        std::atomic<long> peak{zjx::stress::residentKiB(pid)};
        const long before = peak;
        const int upstreamBefore = honest.requests();
        std::mutex m;
        std::map<int, int> statuses;
        std::vector<double> innocentMs;
        int innocentFailed = 0;
        std::thread memory([&] {
            while (!stop) {
                peak = std::max(peak.load(), zjx::stress::residentKiB(pid));
                std::this_thread::sleep_for(milliseconds(20));
            }
        });
        std::thread innocent([&] {
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
        std::vector<std::thread> attackers(static_cast<size_t>(threads));
        for (std::thread& attacker : attackers)
            attacker = std::thread([&] {
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
        memory.join();
        innocent.join();
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

QString kuaidi100Config(const QString& url) {
    const zjx::fakes::FakeSecrets secrets;
    return QStringLiteral("[gateway]\nbackend = kuaidi100\n[kuaidi100]\ncustomer = %1\nkey = %2\nurl = %3\n")
        .arg(QString::fromStdString(secrets.customer), QString::fromStdString(secrets.key), url);
}

int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// nginx with one worker on a free loopback port, serving `page` for every path; port 0 when it
// cannot be started.
struct Nginx {
    QProcess process;
    int port = 0;
    ~Nginx() {
        process.terminate();
        process.waitForFinished(3000);
    }
};

bool startNginx(Nginx& nginx, const QTemporaryDir& dir, const QByteArray& page, const QByteArray& contentType) {
    const QString program = QStringLiteral("/usr/sbin/nginx");
    if (!QFile::exists(program))
        return false;
    QFile file(dir.filePath("page.html"));
    file.open(QIODevice::WriteOnly);
    file.write(page);
    file.close();
    nginx.port = freePort();
    const QString conf = dir.filePath("nginx.conf");
    QFile c(conf);
    c.open(QIODevice::WriteOnly);
    // Started by root, nginx's worker would become another user that cannot read the temporary folder.
    if (::geteuid() == 0)
        c.write("user root;\n");
    c.write(QStringLiteral("worker_processes 1;\ndaemon off;\nerror_log %1/nginx-error.log;\npid %1/nginx.pid;\n"
                           "events { worker_connections 1024; }\n"
                           "http {\n access_log off;\n types { }\n default_type \"%2\";\n"
                           " keepalive_requests 100000000;\n"
                           " server {\n  listen 127.0.0.1:%3;\n  root %1;\n"
                           "  location / { try_files /page.html =404; }\n }\n}\n")
                .arg(dir.path(), QString::fromLatin1(contentType))
                .arg(nginx.port)
                .toUtf8());
    c.close();
    nginx.process.setProcessChannelMode(QProcess::ForwardedChannels);
    nginx.process.start(program, {"-c", conf, "-p", dir.path()});
    httplib::Client probe("127.0.0.1", nginx.port);
    for (int i = 0; i < 100; ++i) {
        if (auto r = probe.Get("/"); r && r->body == page.toStdString())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

int keepAliveComparison(int rounds, const QString& program) {
    zjx::fakes::FakeProvider fake(zjx::fakes::FakeKind::Kuaidi100);
    if (!fake.start()) {
        std::fprintf(stderr, "gatewayload: the fake does not start\n");
        return 1;
    }
    QTemporaryDir dir;
    const OpenService service = startOpenService(dir, kuaidi100Config(fake.url()), program);
    httplib::Client client("127.0.0.1", service.port);
    const auto first = client.Get(target("ZJX1234567")); // fills the cache
    if (!first || first->status != 200) {
        std::fprintf(stderr, "gatewayload: zjx-service did not answer\n");
        return 1;
    }
    const QByteArray page = QByteArray::fromStdString(first->body);
    Nginx nginx;
    const bool reference = startNginx(nginx, dir, page, QByteArray::fromStdString(first->get_header_value("Content-Type")));
    const auto requestFor = [&](int port, const std::string& path) {
        return "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
    };
    const std::string ours = requestFor(service.port, target("ZJX1234567"));
    const std::string theirs = requestFor(nginx.port, "/");
    std::printf("a cached page of %lld bytes from zjx-service (port %d) and %s; %d rounds, alternating\n",
                qint64(page.size()), service.port,
                reference ? qPrintable(QStringLiteral("nginx, one worker (port %1)").arg(nginx.port))
                          : "no reference (nginx is not installed or did not start)",
                rounds);
    // nginx answers in its worker, the master's only child.
    qint64 worker = 0;
    if (reference) {
        QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(nginx.process.processId()));
        if (children.open(QIODevice::ReadOnly))
            worker = children.readAll().trimmed().split(' ').value(0).toLongLong();
    }
    // Answers per second and the answering process's CPU microseconds per answer: the second
    // depends far less on what else the machine does.
    const auto throughput = [](int port, const std::string& request, qint64 pid) {
        const double cpuBefore = cpuSeconds(pid);
        const double rate = zjx::bench::closedLoopThroughput(port, request, 100, 3, 2);
        return std::pair{rate, (cpuSeconds(pid) - cpuBefore) * 1e6 / (rate * 3.3)};
    };
    std::vector<double> oursP50, theirsP50, ratios, cpuRatios;
    for (int round = 1; round <= rounds; ++round) {
        const zjx::bench::Latencies a = zjx::bench::sequentialLatency(service.port, ours, 2000, 5);
        const auto [aRate, aCpu] = throughput(service.port, ours, service.process->processId());
        std::printf("round %d  zjx-service: one kept-alive client %zu requests, p50 %.3f ms, p99 %.3f ms, max %.3f ms "
                    "(%d failed); 100 connections %.0f answers/s, %.1f us CPU an answer\n",
                    round, a.ms.size(), a.percentile(0.5), a.percentile(0.99), a.ms.empty() ? -1.0 : a.ms.back(), a.failed,
                    aRate, aCpu);
        oursP50.push_back(a.percentile(0.5));
        if (reference) {
            const zjx::bench::Latencies b = zjx::bench::sequentialLatency(nginx.port, theirs, 2000, 5);
            const auto [bRate, bCpu] = throughput(nginx.port, theirs, worker);
            std::printf("round %d  nginx:       one kept-alive client %zu requests, p50 %.3f ms, p99 %.3f ms, max %.3f "
                        "ms (%d failed); 100 connections %.0f answers/s, %.1f us CPU an answer; ratio %.2f\n",
                        round, b.ms.size(), b.percentile(0.5), b.percentile(0.99), b.ms.empty() ? -1.0 : b.ms.back(),
                        b.failed, bRate, bCpu, aRate / bRate);
            theirsP50.push_back(b.percentile(0.5));
            ratios.push_back(aRate / bRate);
            cpuRatios.push_back(bCpu / aCpu);
        }
        std::fflush(stdout);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? -1.0 : v[v.size() / 2];
    };
    std::printf("median over the rounds: one kept-alive client p50 %.3f ms (nginx %.3f ms); 100 connections: "
                "zjx-service / nginx = %.2f in answers per second, %.2f in answers per CPU second\n",
                median(oursP50), median(theirsP50), median(ratios), median(cpuRatios));
    service.process->terminate();
    service.process->waitForFinished(5000);
    return 0;
}

// The review's hostile answers to the number recognition (/autonumber), against SERVICE: each
// attack's answers, how long they took, and the service's peak memory meanwhile; then 500 numbers
// whose clients close right after sending them, and how many requests reached the provider.
int autonumberAttacks(const QString& program) {
    using namespace std::chrono;
    zjx::fakes::FakeProvider honest(zjx::fakes::FakeKind::Kuaidi100);
    zjx::fakes::HostileProvider hostile(honest);
    zjx::fakes::FakeRecognition recognition(zjx::fakes::FakeRecognition::Kind::Kuaidi100);
    if (!honest.start() || !hostile.start() || !recognition.start()) {
        std::fprintf(stderr, "gatewayload: the fakes do not start\n");
        return 1;
    }
    hostile.setDripMs(2000);
    QTemporaryDir dir;
    const OpenService service = startOpenService(dir, kuaidi100Config(hostile.url()), program);
    const qint64 pid = service.process->processId();
    std::printf("/autonumber attacks on %s (pid %lld), kuaidi100 at a hostile provider; deadline 20 s\n",
                program.toUtf8().constData(), pid);
    const auto attack = [&](const char* name, const std::string& word, int atOnce, int patienceSeconds) {
        const long before = zjx::stress::residentKiB(pid);
        std::atomic<long> peak{before};
        std::atomic<bool> done{false};
        std::thread memory([&] {
            while (!done) {
                peak = std::max(peak.load(), zjx::stress::residentKiB(pid));
                std::this_thread::sleep_for(milliseconds(20));
            }
        });
        const int stolenBefore = hostile.stolen();
        std::vector<int> statuses(size_t(atOnce), 0);
        std::vector<double> seconds(size_t(atOnce), 0);
        std::vector<std::thread> clients;
        for (int i = 0; i < atOnce; ++i)
            clients.emplace_back([&, i] {
                const auto t0 = steady_clock::now();
                const std::string answer = zjx::stress::exchange(
                    service.port,
                    "GET /autonumber?nu=" + word + std::to_string(100000 + i) + "&id=" + kKey +
                        " HTTP/1.1\r\nConnection: close\r\n\r\n",
                    patienceSeconds);
                statuses[size_t(i)] = statusOf(answer);
                seconds[size_t(i)] = duration<double>(steady_clock::now() - t0).count();
            });
        for (std::thread& c : clients)
            c.join();
        done = true;
        memory.join();
        std::string answers;
        for (size_t i = 0; i < statuses.size(); ++i) {
            char one[64];
            std::snprintf(one, sizeof one, "%s%d after %.1f s", i ? ", " : "", statuses[i], seconds[i]);
            answers += one;
        }
        std::printf("%-34s x%d: %s; RSS %ld -> peak %ld -> %ld KiB after; thief got %d\n", name, atOnce,
                    answers.c_str(), before, peak.load(), zjx::stress::residentKiB(pid), hostile.stolen() - stolenBefore);
        std::fflush(stdout);
    };
    attack("307 redirect to a thief", "REDIRECT307X", 1, 60);
    attack("308 redirect to a thief", "REDIRECT308X", 1, 60);
    attack("100 MB body (Content-Length)", "HUGEX", 4, 60);
    attack("endless chunked body", "ENDLESSX", 4, 60);
    attack("one byte every 2 s", "DRIPX", 1, 200);
    service.process->terminate();
    service.process->waitForFinished(5000);

    // Clients that send a number and close at once (an ordinary close, FIN).
    const OpenService second = startOpenService(dir, kuaidi100Config(recognition.url()), program);
    const auto t0 = steady_clock::now();
    std::vector<std::thread> pushers;
    for (int t = 0; t < 10; ++t)
        pushers.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i)
                zjx::stress::exchange(second.port,
                                      "GET /autonumber?nu=7730" + std::to_string(1000000 + t * 100 + i) + "&id=" + kKey +
                                          " HTTP/1.1\r\n\r\n",
                                      1, false, 0);
        });
    for (std::thread& p : pushers)
        p.join();
    std::this_thread::sleep_for(seconds(3));
    std::printf("500 numbers from clients that close after sending: %d provider requests (%.1f s)\n",
                recognition.requests(), duration<double>(steady_clock::now() - t0).count());
    second.process->terminate();
    second.process->waitForFinished(5000);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc >= 2 && QByteArray(argv[1]) == "keepalive")
        return keepAliveComparison(argc >= 3 ? std::max(1, std::atoi(argv[2])) : 5,
                                   argc >= 4 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral(ZJX_SERVICE_PATH));
    if (argc >= 2 && QByteArray(argv[1]) == "autonumber-attacks")
        return autonumberAttacks(argc >= 3 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(ZJX_SERVICE_PATH));
    if (argc >= 2 && QByteArray(argv[1]) == "provider-attacks") {
        providerAttacks();
        return 0;
    }
    if (argc >= 2 && QByteArray(argv[1]) == "attacks") {
        QString program = QStringLiteral(ZJX_SERVICE_PATH);
        bool open = false;
        for (int i = 2; i < argc; ++i) {
            if (QByteArray(argv[i]) == "--open")
                open = true;
            else
                program = QString::fromLocal8Bit(argv[i]);
        }
        return runAttacks(program, open);
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
    std::printf("RSS after the latency run: %ld KiB\n", zjx::stress::residentKiB(service.processId()));
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
                    zjx::stress::residentKiB(service.processId()), failures.load());
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
