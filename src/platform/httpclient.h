#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <utility>

class QDeadlineTimer;
class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

namespace zjx {

struct HttpResult {
    enum class Failure { None, Refused, HostNotFound, Timeout, Reset, TooLarge, Other };

    Failure failure = Failure::None; // a failure of the transport itself; HTTP error pages are answers
    int status = 0;                  // HTTP status, 0 when none arrived
    QByteArray bytes;                // the raw body (empty on a transport failure)
    QString body;                    // the body as text, read by the caller's BodyDecoder
    QString errorText;               // plain Chinese, for the hint line; empty on success
    // The response headers as received.
    QList<std::pair<QByteArray, QByteArray>> headers;

    bool ok() const { return failure == Failure::None; }
    // A response header's value (names compare without case); empty when absent.
    QByteArray header(const QByteArray& name) const {
        for (const auto& [key, value] : headers)
            if (key.compare(name, Qt::CaseInsensitive) == 0)
                return value;
        return {};
    }
};

// One network manager for the whole program.
//  - getBlocking stands in for the blocking transfer control of the tracking query and the version
//    check: the window repaints but takes no input until the answer is in or the limit has passed.
//  - getResponsive stands in for the asynchronous page request of the branch lookup: the window
//    keeps handling every event, and the answer is handed to `done` unless `context` is gone.
//  The client knows no charsets: the caller, who knows its server, says how a body becomes text.
class HttpClient : public QObject {
    Q_OBJECT
public:
    // Reads a body from its bytes and the Content-Type header that came with them.
    using BodyDecoder = std::function<QString(const QByteArray& bytes, const QByteArray& contentType)>;
    static QString utf8Body(const QByteArray& bytes, const QByteArray&) { return QString::fromUtf8(bytes); }

    static HttpClient& instance();

    HttpResult getBlocking(const QUrl& url, const BodyDecoder& decode = utf8Body);
    void getResponsive(const QUrl& url, QObject* context, std::function<void(const HttpResult&)> done,
                       BodyDecoder decode = utf8Body);

    bool isWaiting() const { return m_blockingWaits > 0; }

    int timeoutMs() const { return m_timeoutMs; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; } // tests shorten the 60-second limit
    qint64 maxBodyBytes() const { return m_maxBodyBytes; }
    void setMaxBodyBytes(qint64 bytes) { m_maxBodyBytes = bytes; }

    static QString failureText(HttpResult::Failure failure);

    // The program's own service at "HOST:PORT" serves only requests carrying `secret`; every
    // request to that address gets it in X-Zjx-Secret, requests elsewhere never. A request for an
    // address the service had before goes to this one, and so do the requests held for it.
    void setServiceSecret(const QString& address, const QByteArray& secret);
    // The service has ended. From this moment no request goes to its address (whoever takes the
    // port next would read the numbers), and its secret is forgotten. While it `comesBack`, the
    // requests meant for it wait for its new address; else they fail at once, as refused.
    void serviceEnded(bool comesBack);
    // Called before anything is sent to the service: notices at once a service that has just
    // ended (it then calls serviceEnded), so that no request goes to its port in the meantime.
    void setServiceCheck(std::function<void()> check) { m_serviceCheck = std::move(check); }
    // Every request goes out as built here.
    QNetworkRequest request(const QUrl& url) const;

Q_SIGNALS:
    // The last blocking request has its answer: work that waited for it may go on.
    void waitEnded();
    // The service is back at a new address, or gone for good: held requests may go on.
    void serviceSettled();

private:
    enum class Route { Send, Hold, Refuse };
    enum class Service { None, Up, Returning, Gone };

    explicit HttpClient(QObject* parent = nullptr);
    // What happens to a request for `url` now; one meant for the service's old address is
    // moved to its present one.
    Route route(QUrl& url) const;
    Route routeWhenSettled(QUrl& url, const QDeadlineTimer& deadline);
    void noticeServiceEnd(const QUrl& url);
    // The reply was cut off by the service's end: the request is to be sent again.
    bool cutOff(QNetworkReply* reply);
    QNetworkReply* start(const QUrl& url, bool responsive);
    HttpResult finish(QNetworkReply* reply, bool timedOut, bool tooLarge, const BodyDecoder& decode);
    void watch(QNetworkReply* reply, bool* timedOut, bool* tooLarge, int timeoutMs);
    static HttpResult failed(HttpResult::Failure failure);

    QNetworkAccessManager* m_manager;
    Service m_service = Service::None;
    QString m_serviceHost;
    int m_servicePort = -1;
    QByteArray m_serviceSecret;
    QList<std::pair<QString, int>> m_formerServices; // host and port the service had before
    QList<std::function<void()>> m_held;             // responsive requests waiting for the service
    QList<QPointer<QNetworkReply>> m_serviceReplies; // requests to the service on their way
    std::function<void()> m_serviceCheck;
    int m_timeoutMs = 60000;
    qint64 m_maxBodyBytes = 8 * 1024 * 1024;
    int m_blockingWaits = 0;
};

} // namespace zjx
