#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace zjx::fakes {

// Local stand-ins for the tracking providers' documented APIs, for tests, the benchmark and trying
// the gateway by hand. Each answers only on its documented path (anything else is 404), checks the
// secrets and the sign over the exact bytes it received, and checks the rest of the request the way
// its provider does: an unknown company code gets the provider's error, 顺丰 and 中通 without the
// right phone tail get the provider's phone failure (the tail is the four digits exactly), request
// fields outside their documented values are refused, and so is a 17TRACK body that is not an array.
//
// Numbers: "SIGNED..." a signed-for history of 4 events; "MARKER..." events whose texts hold the
// program's marker words; "PICKUP..." waiting at a station (取件码 3-2-1045); "RETURN..." refused by
// the receiver; "NOTFOUND..." the provider's documented no-result answer; "ERR<code>..."
// a condition of the provider's side that no request can cause (kuaidi100: 500 501 502 601;
// 17TRACK: 18019903 18019907 18019908 18010001 18010004 18010005; kdniao: the Reasons of
// badReason()); any other plausible number a history of 3 events in transit. An undelivered parcel
// has the estimated delivery each provider documents: kuaidi100 (resultv2 8) arrivalTime
// "2026-12-09 12", 17TRACK 2026-12-09 to 2026-12-11, kdniao (8001) "2026-12-10 12". Documented samples:
// 17TRACK "NEW..." registered without information yet, "1Z..." with carrier UPS a delivered parcel
// with legs in two time zones; kdniao "118461988807" the documented seven traces of a 顺丰 parcel
// (State 3, out of time order), the only 顺丰 number request type 1002 answers (the others were not
// ordered through kdniao).
enum class FakeKind { Kuaidi100, Track17, Kdniao };

struct FakeSecrets {
    std::string customer = "FAKECUSTOMER01"; // kuaidi100 customer / kdniao EBusinessID
    std::string key = "fake-key-0123456789"; // kuaidi100 key / 17TRACK token / kdniao AppKey
    std::string phoneTail = "6420";          // the receiver's phone tail of every 顺丰 and 中通 parcel
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
    int infoChanges() const { return m_infoChanges.load(); } // 17TRACK: accepted changeinfo items
    void setDelayMs(int ms) { m_delayMs = ms; }
    void setDrop(bool drop) { m_drop = drop; }
    // 17TRACK: the next `count` requests are answered 429 as if the limit were passed.
    void forceRateLimit(int count) { m_force429 = count; }
    void forgetRegistrations();
    // The company code (kuaidi100 "com", kdniao ShipperCode, 17TRACK carrier) and the phone tail
    // (kuaidi100 "phone", kdniao CustomerName, 17TRACK "param") of the last request.
    std::string lastCompany() const;
    std::string lastPhone() const;

    static const char* badReason(const std::string& number); // kdniao's refusal texts

private:
    void serve(const httplib::Request& req, httplib::Response& res,
               const std::function<std::string(const httplib::Request&, int&)>& answer);
    std::string kuaidi100(const std::string& body, int& status);
    enum class Track17Call { Register, GetTrackInfo, ChangeInfo };
    std::string track17(Track17Call call, const std::string& body, const std::string& token, int& status);
    void remember(const std::string& company, const std::string& phone);
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
    std::atomic<int> m_infoChanges{0};
    std::atomic<int> m_delayMs{0};
    std::atomic<bool> m_drop{false};
    std::atomic<int> m_force429{0};
    mutable std::mutex m_mutex;
    std::string m_lastCompany, m_lastPhone;
    std::set<std::string> m_registered;
    std::map<std::string, std::string> m_params; // 17TRACK: "param" given at registration
    std::multiset<long long> m_recent;           // 17TRACK: request times (ms) of the last second
};

// A self-signed certificate for 127.0.0.1 made with the openssl tool into `dir`; false without it.
bool makeSelfSignedCertificate(const QString& dir, QString* certFile, QString* keyFile);

} // namespace zjx::fakes
