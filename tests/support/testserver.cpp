#include "testserver.h"

#include "socketpeers.h"
#include "stress/loopbackflood.h"

#include <QStringEncoder>

#include <httplib.h>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <strings.h>
#include <thread>

namespace zjx::test {

namespace {

using namespace std::chrono_literals;

constexpr auto kDripPause = 50ms;

} // namespace

std::string RecordedRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0)
            return value;
    }
    return {};
}

std::string RecordedRequest::param(const std::string& key) const {
    const auto it = params.find(key);
    return it == params.end() ? std::string() : it->second;
}

struct TestServer::Impl {
    httplib::Server server;
    std::thread thread;
    int port = -1;

    mutable std::mutex mutex;
    std::condition_variable released;
    bool stopping = false;
    std::map<std::string, Handler> handlers;
    QList<RecordedRequest> requests;

    // Waits up to `pause`, or for good once `pause` is negative; false when the server is going down.
    bool wait(std::chrono::milliseconds pause) {
        std::unique_lock lock(mutex);
        if (pause.count() < 0)
            released.wait(lock, [this] { return stopping; });
        else
            released.wait_for(lock, pause, [this] { return stopping; });
        return !stopping;
    }

    void serve(const httplib::Request& req, httplib::Response& res);
};

void TestServer::Impl::serve(const httplib::Request& req, httplib::Response& res) {
    RecordedRequest recorded{req.method, req.path, req.target, {req.headers.begin(), req.headers.end()}, {}};
    for (const auto& [key, value] : req.params)
        recorded.params.emplace(key, value);
    Handler handler;
    {
        const std::lock_guard lock(mutex);
        requests.append(recorded);
        if (const auto it = handlers.find(req.path); it != handlers.end())
            handler = it->second;
    }
    if (!handler) {
        res.status = 404;
        res.set_content("Not Found", "text/plain");
        return;
    }

    const CannedResponse answer = handler(recorded);
    if (answer.delayMs > 0 && !wait(std::chrono::milliseconds(answer.delayMs)))
        return;
    res.status = answer.status;
    for (const auto& [name, value] : answer.headers)
        res.set_header(name, value);
    const auto body = std::make_shared<std::string>(answer.body.toStdString());
    switch (answer.fault) {
    case CannedResponse::Fault::None:
        res.set_content(*body, answer.contentType);
        break;
    case CannedResponse::Fault::Refuse: // httplib hands a handler no socket: it is found by its two ports
        if (const int fd = socketBetween(req.local_port, req.remote_port); fd >= 0)
            ::shutdown(fd, SHUT_RDWR);
        break;
    case CannedResponse::Fault::ResetMidBody:
        // A provider that gives up makes httplib close the connection short of the announced length.
        res.set_content_provider(std::max<size_t>(body->size(), 1), answer.contentType,
                                 [body](size_t, size_t, httplib::DataSink& sink) {
                                     if (body->size() >= 2)
                                         sink.write(body->data(), body->size() / 2);
                                     return false;
                                 });
        break;
    case CannedResponse::Fault::NeverAnswer:
        wait(std::chrono::milliseconds(-1));
        res.status = 503;
        break;
    case CannedResponse::Fault::DripOneByte:
        res.set_chunked_content_provider(answer.contentType, [this, body](size_t offset, httplib::DataSink& sink) {
            if (offset >= body->size()) {
                sink.done();
                return true;
            }
            return sink.write(body->data() + offset, 1) && wait(kDripPause);
        });
        break;
    }
}

TestServer::TestServer() : m_impl(std::make_unique<Impl>()) {
    httplib::Server& server = m_impl->server;
    server.set_keep_alive_timeout(1);
    server.set_read_timeout(1, 0);
    server.Get(".*", [this](const httplib::Request& req, httplib::Response& res) { m_impl->serve(req, res); });
    m_impl->port = server.bind_to_any_port("127.0.0.1");
    if (m_impl->port <= 0)
        qFatal("TestServer: no free loopback port");
    m_impl->thread = std::thread([&server] { server.listen_after_bind(); });
    // stop() does nothing until the accept loop runs, so the destructor must not come before it.
    while (!server.is_running())
        std::this_thread::yield();
}

TestServer::~TestServer() {
    {
        const std::lock_guard lock(m_impl->mutex);
        m_impl->stopping = true;
    }
    m_impl->released.notify_all();
    m_impl->server.stop();
    m_impl->thread.join();
}

int TestServer::port() const {
    return m_impl->port;
}

QString TestServer::hostPort() const {
    return QStringLiteral("127.0.0.1:%1").arg(m_impl->port);
}

QString TestServer::baseUrl() const {
    return QStringLiteral("http://") + hostPort();
}

void TestServer::setResponse(const std::string& path, CannedResponse response) {
    setHandler(path, [response](const RecordedRequest&) { return response; });
}

void TestServer::setHandler(const std::string& path, Handler handler) {
    const std::lock_guard lock(m_impl->mutex);
    m_impl->handlers[path] = std::move(handler);
}

QList<RecordedRequest> TestServer::requests() const {
    const std::lock_guard lock(m_impl->mutex);
    return m_impl->requests;
}

void TestServer::clearRequests() {
    const std::lock_guard lock(m_impl->mutex);
    m_impl->requests.clear();
}

QByteArray TestServer::gbk(const QString& text) {
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

QByteArray TestServer::trackingPage(const QStringList& progress, QDate firstDay) {
    QString page = QStringLiteral("<table><tr><th>时间</th><th>地点和跟踪进度</th></tr>");
    for (int i = 0; i < progress.size(); ++i)
        page += QStringLiteral("<tr><td>%1 08:00:00</td><td>%2</td></tr>")
                    .arg(firstDay.addDays(i).toString(QStringLiteral("yyyy-MM-dd")), progress.at(i));
    return gbk(page + QStringLiteral("</table>"));
}

int TestServer::unusedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = zjx::stress::loopback(0);
    socklen_t size = sizeof address;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

} // namespace zjx::test
