#pragma once

#include "fakes/providerfakes.h"

#include <QString>

#include <atomic>
#include <memory>
#include <thread>

namespace zjx::fakes {

// A provider gone bad, standing in front of an honest fake: a word at the start of the parcel
// number chooses the attack, and any other request is passed on to the honest fake unchanged, so
// an innocent parcel still gets its answer. The words work in kuaidi100's number recognition
// (num=WORD...) as well. For the gateway's tests and its load benchmark.
//
//   REDIRECT<code>...  HTTP <code> (301, 302, 303, 307, 308) pointing at a thief on 127.0.0.2,
//                      which counts every request that reaches it
//   HUGE...            a 100 MB body announced with Content-Length
//   ENDLESS...         a chunked body that never ends
//   MANY<n>...         a kuaidi100 answer of n events (streamed, never built whole), newest first;
//                      event i (1 = oldest) reads "第i条"
//   DRIP...            a body of 200 bytes, one byte every dripMs
//   ECHO...            a kuaidi100 error whose message repeats the fake's customer and key
class HostileProvider {
public:
    explicit HostileProvider(const FakeProvider& honest); // started before this one is
    ~HostileProvider();
    HostileProvider(const HostileProvider&) = delete;
    HostileProvider& operator=(const HostileProvider&) = delete;

    bool start();
    void stop();
    // The honest fake's address with this server's port.
    QString url() const;
    int stolen() const { return m_stolen.load(); }
    long long hostileBytes() const { return m_bytes.load(); } // hostile body bytes written so far
    void setDripMs(int ms) { m_dripMs = ms; }

private:
    const FakeProvider& m_honest;
    std::unique_ptr<httplib::Server> m_server, m_thief;
    std::thread m_thread, m_thiefThread;
    int m_port = 0, m_thiefPort = 0;
    std::atomic<int> m_stolen{0};
    std::atomic<long long> m_bytes{0};
    std::atomic<int> m_dripMs{5000};
};

} // namespace zjx::fakes
