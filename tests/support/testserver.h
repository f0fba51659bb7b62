#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zjx::test {

struct RecordedRequest {
    std::string method;
    std::string path;   // decoded
    std::string target; // path and query exactly as sent, still percent-encoded
    std::multimap<std::string, std::string> headers;
    std::map<std::string, std::string> params; // decoded; the first value of a repeated key

    // The value of a header, its name compared without case; empty when absent.
    std::string header(const std::string& name) const;
    std::string param(const std::string& key) const;
};

struct CannedResponse {
    enum class Fault {
        None,
        Refuse,       // the connection is closed before a single byte of the answer
        ResetMidBody, // half the body under a Content-Length for all of it, then the connection is closed
        NeverAnswer,  // no answer until the server is destroyed
        DripOneByte,  // the body in chunks of one byte, about 50 ms apart
    };
    int status = 200;
    QByteArray body;
    std::string contentType = "text/html; charset=GBK";
    int delayMs = 0; // before the answer starts
    Fault fault = Fault::None;
    std::vector<std::pair<std::string, std::string>> headers{}; // sent besides Content-Type
};

// An HTTP server on a free loopback port, answering from a background thread with what the test
// sets per path and recording every request. Paths without an answer get 404. Handlers run on the
// server's threads. The destructor returns within about a second, even while a request hangs.
class TestServer {
public:
    using Handler = std::function<CannedResponse(const RecordedRequest&)>;

    TestServer();
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    int port() const;
    QString hostPort() const; // "127.0.0.1:<port>"
    QString baseUrl() const;  // "http://127.0.0.1:<port>"

    void setResponse(const std::string& path, CannedResponse response);
    void setHandler(const std::string& path, Handler handler);

    QList<RecordedRequest> requests() const;
    void clearRequests();

    static QByteArray gbk(const QString& text);
    // The tracking service's page in GBK: one event row per progress text, oldest first, a day
    // apart from `firstDay`, each at 08:00.
    static QByteArray trackingPage(const QStringList& progress, QDate firstDay = QDate(2013, 5, 20));
    // A loopback port nobody listens on, for a connection that is refused.
    static int unusedPort();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace zjx::test
