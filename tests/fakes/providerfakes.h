#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace zjx::fakes {

// Local stand-ins for the tracking providers' documented APIs, for tests, the benchmark and trying
// the gateway by hand. Each checks the secrets and the sign over the exact bytes it received.
//
// Numbers: "SIGNED..." a signed-for history of 4 events; "MARKER..." events whose texts hold the
// program's marker words; "NOTFOUND..." no result; "ERR<code>..." the provider's error <code>
// (kuaidi100: 400 500 501 502 503 601 408; 17TRACK: 18019903 18019908 18010002; kdniao: the
// Reasons of badReason()); any other plausible number a history of 3 events in transit.
enum class FakeKind { Kuaidi100, Track17, Kdniao };

struct FakeSecrets {
    std::string customer = "FAKECUSTOMER01"; // kuaidi100 customer / kdniao EBusinessID
    std::string key = "fake-key-0123456789"; // kuaidi100 key / 17TRACK token / kdniao AppKey
};

class FakeProvider {
public:
    FakeProvider(FakeKind kind, FakeSecrets secrets = {});
    ~FakeProvider();
    FakeProvider(const FakeProvider&) = delete;
    FakeProvider& operator=(const FakeProvider&) = delete;

    // Listens on 127.0.0.1 (a free port when 0); with certificate and key files it speaks HTTPS.
    bool start(int port = 0, const std::string& certFile = {}, const std::string& keyFile = {});
    void stop();
    int port() const { return m_port; }
    // The address a client configures: the documented path on this host.
    QString url() const;

    int requests() const { return m_requests.load(); }
    int badSigns() const { return m_badSigns.load(); }
    int rateLimited() const { return m_rateLimited.load(); }
    void setDelayMs(int ms) { m_delayMs = ms; }
    void setDrop(bool drop) { m_drop = drop; }
    // 17TRACK: the next `count` requests are answered 429 as if the limit were passed.
    void forceRateLimit(int count) { m_force429 = count; }
    void forgetRegistrations();

    static const char* badReason(const std::string& number); // kdniao's refusal texts

private:
    std::string answer(const std::string& path, const std::string& body, const std::string& token, int& status);
    std::string kuaidi100(const std::string& body, int& status);
    std::string track17(const std::string& path, const std::string& body, const std::string& token, int& status);
    std::string kdniao(const std::string& body, int& status);

    const FakeKind m_kind;
    const FakeSecrets m_secrets;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    bool m_tls = false;
    std::atomic<int> m_requests{0};
    std::atomic<int> m_badSigns{0};
    std::atomic<int> m_rateLimited{0};
    std::atomic<int> m_delayMs{0};
    std::atomic<bool> m_drop{false};
    std::atomic<int> m_force429{0};
    std::mutex m_mutex;
    std::set<std::string> m_registered;
    std::multiset<long long> m_recent; // 17TRACK: request times (ms) of the last second
};

// A self-signed certificate for 127.0.0.1 made with the openssl tool into `dir`; false without it.
bool makeSelfSignedCertificate(const QString& dir, QString* certFile, QString* keyFile);

} // namespace zjx::fakes
