#include "platform/httpclient.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <optional>
#include <utility>

namespace zjx {
namespace {

// Marks a reply aborted because the service ended under it: it is sent again, not answered.
constexpr char cutByServiceEnd[] = "zjxCutByServiceEnd";
// Marks a reply from the service itself.
constexpr char fromService[] = "zjxFromService";

} // namespace

HttpClient& HttpClient::instance() {
    static HttpClient* client = new HttpClient;
    return *client;
}

HttpClient::HttpClient(QObject* parent) : QObject(parent), m_manager(new QNetworkAccessManager(this)) {}

void HttpClient::setServiceSecret(const QString& address, const QByteArray& secret) {
    const QUrl service(QStringLiteral("http://") + address);
    m_service = Service::Up;
    m_serviceHost = service.host();
    m_servicePort = service.port(80);
    m_serviceSecret = secret;
    m_formerServices.removeAll(std::pair{m_serviceHost, m_servicePort});
    for (const auto& resume : std::exchange(m_held, {}))
        resume();
    Q_EMIT serviceSettled();
}

void HttpClient::serviceEnded(bool comesBack) {
    if (m_service == Service::Up)
        m_formerServices.append({m_serviceHost, m_servicePort});
    m_service = comesBack ? Service::Returning : Service::Gone;
    m_serviceHost.clear();
    m_servicePort = -1;
    m_serviceSecret.clear();
    // A request on its way would be sent again by the network layer to the same port when the
    // connection drops: each is cut off now and asked again where the service will be.
    m_manager->clearConnectionCache();
    for (const QPointer<QNetworkReply>& reply : std::exchange(m_serviceReplies, {}))
        if (reply && !reply->isFinished()) {
            reply->setProperty(cutByServiceEnd, true);
            reply->abort();
        }
    if (comesBack)
        return;
    for (const auto& resume : std::exchange(m_held, {}))
        resume();
    Q_EMIT serviceSettled();
}

HttpClient::Route HttpClient::route(QUrl& url) const {
    if (url.scheme() != QLatin1String("http") ||
        !m_formerServices.contains(std::pair{url.host(), url.port(80)}))
        return Route::Send;
    switch (m_service) {
    case Service::Up:
        url.setHost(m_serviceHost);
        url.setPort(m_servicePort);
        return Route::Send;
    case Service::Returning:
        return Route::Hold;
    case Service::None:
    case Service::Gone:
        break;
    }
    return Route::Refuse;
}

HttpResult HttpClient::failed(HttpResult::Failure failure) {
    HttpResult result;
    result.failure = failure;
    result.errorText = failureText(failure);
    return result;
}

QNetworkRequest HttpClient::request(const QUrl& url) const {
    QNetworkRequest request(url);
    // Only to the service itself: another host must not learn the secret.
    if (m_service == Service::Up && url.scheme() == QLatin1String("http") && url.host() == m_serviceHost &&
        url.port(80) == m_servicePort) {
        request.setRawHeader("X-Zjx-Secret", m_serviceSecret);
        // The service never redirects; a redirect followed would carry the secret elsewhere.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    }
    return request;
}

QNetworkReply* HttpClient::start(const QUrl& url, bool responsive) {
    QNetworkRequest request = this->request(url);
    if (responsive)
        request.setRawHeader("If-Modified-Since", "0");
    QNetworkReply* reply = m_manager->get(request);
    if (request.hasRawHeader("X-Zjx-Secret")) {
        reply->setProperty(fromService, true);
        m_serviceReplies.removeAll(nullptr);
        m_serviceReplies.append(reply);
    }
    return reply;
}

void HttpClient::noticeServiceEnd(const QUrl& url) {
    QUrl target = url;
    if (m_serviceCheck && m_service == Service::Up && route(target) == Route::Send && request(target).hasRawHeader("X-Zjx-Secret"))
        m_serviceCheck();
}

bool HttpClient::cutOff(QNetworkReply* reply) {
    if (reply->property(cutByServiceEnd).toBool())
        return true;
    // If the service has ended meanwhile, whatever came back (a reset, or an answer from whoever
    // took the port while the network layer sent the request again) is not its answer: the
    // request goes where the service is now.
    if (!reply->property(fromService).toBool())
        return false;
    noticeServiceEnd(reply->url());
    QUrl target = reply->url();
    return route(target) != Route::Send || target != reply->url();
}

// Arms the time limit and the size limit of one transfer; both abort the reply.
void HttpClient::watch(QNetworkReply* reply, bool* timedOut, bool* tooLarge, int timeoutMs) {
    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, reply, [reply, timedOut] {
        *timedOut = true;
        reply->abort();
    });
    timer->start(timeoutMs);
    const qint64 limit = m_maxBodyBytes;
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply, tooLarge, limit](qint64 received, qint64 total) {
        if (received > limit || total > limit) {
            *tooLarge = true;
            reply->abort();
        }
    });
}

// Waits while a request for the service must wait for its return, within the deadline.
HttpClient::Route HttpClient::routeWhenSettled(QUrl& url, const QDeadlineTimer& deadline) {
    Route way;
    while ((way = route(url)) == Route::Hold && !deadline.hasExpired()) {
        QEventLoop loop;
        bool woken = false;
        const auto wake = [&] {
            woken = true;
            loop.quit();
        };
        connect(this, &HttpClient::serviceSettled, &loop, wake);
        QTimer::singleShot(int(deadline.remainingTime()), &loop, wake);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        if (!woken)
            break; // the program is ending: every loop was told to end
    }
    return way;
}

HttpResult HttpClient::getBlocking(const QUrl& url, const BodyDecoder& decode) {
    ++m_blockingWaits;
    // A request for a service that is starting again waits for it, within the same time limit.
    const QDeadlineTimer deadline(m_timeoutMs);
    std::optional<HttpResult> result;
    while (!result) {
        noticeServiceEnd(url);
        QUrl target = url;
        if (const Route way = routeWhenSettled(target, deadline); way != Route::Send) {
            result = failed(way == Route::Hold ? HttpResult::Failure::Timeout : HttpResult::Failure::Refused);
            break;
        }
        bool timedOut = false;
        bool tooLarge = false;
        QNetworkReply* reply = start(target, false);
        watch(reply, &timedOut, &tooLarge, int(deadline.remainingTime()));
        if (!reply->isFinished()) {
            QEventLoop loop;
            connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        }
        // The program is ending (every loop was told to end): no half answer is taken for one.
        if (!reply->isFinished())
            reply->abort();
        if (!cutOff(reply))
            result = finish(reply, timedOut, tooLarge, decode);
        reply->deleteLater();
    }
    --m_blockingWaits;
    if (m_blockingWaits == 0)
        Q_EMIT waitEnded();
    return *result;
}

void HttpClient::getResponsive(const QUrl& url, QObject* context, std::function<void(const HttpResult&)> done,
                               BodyDecoder decode) {
    QPointer<QObject> guard(context);
    noticeServiceEnd(url);
    QUrl target = url;
    switch (route(target)) {
    case Route::Hold:
        // Asked again once the service is back (or gone); a window closed meanwhile asks nothing.
        m_held.append([this, url, guard, done = std::move(done), decode = std::move(decode)] {
            if (guard)
                getResponsive(url, guard, done, decode);
        });
        return;
    case Route::Refuse:
        // Never sent; answered from the event loop like every other answer.
        QTimer::singleShot(0, this, [guard, done = std::move(done)] {
            if (guard)
                done(failed(HttpResult::Failure::Refused));
        });
        return;
    case Route::Send:
        break;
    }
    QNetworkReply* reply = start(target, true);
    auto flags = std::make_shared<std::pair<bool, bool>>(false, false);
    watch(reply, &flags->first, &flags->second, m_timeoutMs);
    connect(reply, &QNetworkReply::finished, this,
            [this, url, reply, flags, guard, done = std::move(done), decode = std::move(decode)] {
                reply->deleteLater();
                // The window that asked may have been closed meanwhile: its answer is dropped.
                if (!guard)
                    return;
                // Cut off by the service's end: asked again where the service is now.
                if (cutOff(reply))
                    return getResponsive(url, guard, done, decode);
                done(finish(reply, flags->first, flags->second, decode));
            });
}

HttpResult HttpClient::finish(QNetworkReply* reply, bool timedOut, bool tooLarge, const BodyDecoder& decode) {
    HttpResult result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.headers = reply->rawHeaderPairs();
    const QNetworkReply::NetworkError error = reply->error();
    // Errors from 201 up are answers of the server (an error page is still a page), unless the
    // status says success: Qt refuses a compressed body that unpacks beyond its safety ratio
    // (UnknownContentError under status 200, before any progress) and leaves no body at all.
    const bool successStatus = result.status >= 200 && result.status < 300;
    const bool transportError =
        error != QNetworkReply::NoError && (int(error) < 201 || result.status == 0 || successStatus);
    if (tooLarge)
        result.failure = HttpResult::Failure::TooLarge;
    else if (timedOut)
        result.failure = HttpResult::Failure::Timeout;
    else if (transportError) {
        // The transport errors with a failure of their own; any other is Failure::Other.
        static constexpr std::pair<QNetworkReply::NetworkError, HttpResult::Failure> named[] = {
            {QNetworkReply::ConnectionRefusedError, HttpResult::Failure::Refused},
            {QNetworkReply::HostNotFoundError, HttpResult::Failure::HostNotFound},
            {QNetworkReply::TimeoutError, HttpResult::Failure::Timeout},
            {QNetworkReply::RemoteHostClosedError, HttpResult::Failure::Reset},
        };
        result.failure = HttpResult::Failure::Other;
        for (const auto& [namedError, failure] : named)
            if (error == namedError)
                result.failure = failure;
    }
    if (result.failure != HttpResult::Failure::None) {
        result.errorText = failureText(result.failure);
        return result;
    }
    result.bytes = reply->readAll();
    result.body = decode(result.bytes, reply->header(QNetworkRequest::ContentTypeHeader).toByteArray());
    return result;
}

QString HttpClient::failureText(HttpResult::Failure failure) {
    switch (failure) {
    case HttpResult::Failure::None:
        return {};
    case HttpResult::Failure::Refused:
    case HttpResult::Failure::HostNotFound:
        return QStringLiteral("网络连接失败,请检查网络后重试!");
    case HttpResult::Failure::Timeout:
        return QStringLiteral("网络连接超时,请稍后重试!");
    case HttpResult::Failure::Reset:
        return QStringLiteral("网络连接中断,请稍后重试!");
    case HttpResult::Failure::TooLarge:
        return QStringLiteral("返回的数据过大,已停止接收,请稍后重试!");
    case HttpResult::Failure::Other:
        return QStringLiteral("网络请求失败,请检查网络后重试!");
    }
    return {};
}

} // namespace zjx
