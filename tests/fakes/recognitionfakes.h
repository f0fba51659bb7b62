#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace zjx::fakes {

// Local stand-ins for the providers' documented number recognition: kuaidi100's
// POST /autonumber/auto (num, key) and kdniao's RequestType 2002 (signed like its query).
// Numbers: "NONE..." no company; "ERR..." the provider refuses (kuaidi100 601, kdniao 套餐);
// any other number the China Post parcel service and 中通.
class FakeRecognition {
public:
    enum class Kind { Kuaidi100, Kdniao };
    FakeRecognition(Kind kind, std::string key = "fake-key-0123456789", std::string businessId = "FAKECUSTOMER01");
    ~FakeRecognition();

    bool start();        // on a free loopback port
    QString url() const; // kuaidi100: the query address beside which the recognition lives
    int requests() const { return m_requests.load(); }
    int badSigns() const { return m_badSigns.load(); }

private:
    std::string answer(const std::string& body, int& status);

    const Kind m_kind;
    const std::string m_key;
    const std::string m_businessId;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<int> m_requests{0};
    std::atomic<int> m_badSigns{0};
};

} // namespace zjx::fakes
