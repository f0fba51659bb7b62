#include "providerclient.h"

#include <QDeadlineTimer>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>

namespace zjx::gateway {

namespace {

// A little more than a second: requests reach the provider with some jitter, and it counts arrivals.
constexpr qint64 kWindowMs = 1150;

qint64 monotonicMs() {
    return QDeadlineTimer::current().deadline();
}

} // namespace

RequestPacer::RequestPacer(int perSecond, QObject* parent)
    : QObject(parent), m_perSecond(perSecond > 0 ? perSecond : 1), m_timer(new QTimer(this)) {
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] { drain(); });
}

void RequestPacer::run(std::function<void()> job) {
    m_waiting.push_back(std::move(job));
    drain();
}

void RequestPacer::drain() {
    while (!m_waiting.empty()) {
        const qint64 now = monotonicMs();
        while (!m_started.empty() && now - m_started.front() >= kWindowMs)
            m_started.pop_front();
        if (int(m_started.size()) >= m_perSecond) {
            if (!m_timer->isActive())
                m_timer->start(int(m_started.front() + kWindowMs - now) + 1);
            return;
        }
        m_started.push_back(now);
        std::function<void()> job = std::move(m_waiting.front());
        m_waiting.pop_front();
        job();
    }
}

ProviderClient::ProviderClient(ClientOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_net(this) {
    m_net.setAutoDeleteReplies(true);
}

void ProviderClient::post(const QUrl& url, const QByteArray& contentType,
                          const QList<std::pair<QByteArray, QByteArray>>& headers, const QByteArray& body,
                          Answered answered, Failed failed) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    request.setTransferTimeout(m_options.timeoutMs);
    if (!m_options.extraCaCertificates.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(m_options.extraCaCertificates);
        request.setSslConfiguration(tls);
    }
    QNetworkReply* reply = m_net.post(request, body);
    auto tlsErrors = std::make_shared<QStringList>();
    connect(reply, &QNetworkReply::sslErrors, reply, [tlsErrors](const QList<QSslError>& errors) {
        for (const QSslError& e : errors)
            *tlsErrors << e.errorString();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, tlsErrors, answered, failed] {
        // Errors below 100 are the connection's (also after the headers came: a cut answer); the
        // others come with an HTTP status the provider chose.
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const bool transportFault = reply->error() != QNetworkReply::NoError && reply->error() < 100;
        if (!transportFault && status.isValid() && status.toInt() > 0) {
            answered(HttpAnswer{status.toInt(), reply->readAll()});
            return;
        }
        const QString host = reply->url().host();
        switch (reply->error()) {
        case QNetworkReply::OperationCanceledError:
        case QNetworkReply::TimeoutError:
            failed(Outcome::failure(
                FaultKind::Timeout,
                QStringLiteral("%1 gave no answer within %2 s").arg(host).arg(m_options.timeoutMs / 1000.0)));
            return;
        case QNetworkReply::SslHandshakeFailedError:
            failed(Outcome::failure(
                FaultKind::Tls, QStringLiteral("%1: TLS refused: %2")
                                    .arg(host, tlsErrors->isEmpty() ? reply->errorString() : tlsErrors->join(u"; "))));
            return;
        default:
            failed(Outcome::failure(FaultKind::Network, QStringLiteral("%1: %2").arg(host, reply->errorString())));
            return;
        }
    });
}

Outcome ProviderClient::httpFault(int status, const QByteArray& body) const {
    const QString text = QStringLiteral("%1 answered HTTP %2 %3")
                             .arg(m_options.url.host())
                             .arg(status)
                             .arg(logSafe(QString::fromUtf8(body.left(200))));
    if (status == 401 || status == 403)
        return Outcome::failure(FaultKind::BadKey, text);
    if (status == 429) // too many requests now, not a used-up quota
        return Outcome::failure(FaultKind::RateLimit, text);
    return Outcome::failure(FaultKind::Provider, text);
}

QByteArray formBody(const QList<std::pair<QByteArray, QString>>& fields) {
    QByteArray out;
    for (const auto& [name, value] : fields) {
        if (!out.isEmpty())
            out += '&';
        out += name + '=' + value.toUtf8().toPercentEncoding();
    }
    return out;
}

QString logSafe(const QString& text) {
    QString out;
    for (const QChar c : text.left(200)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0'));
        else
            out += c;
    }
    return out;
}

} // namespace zjx::gateway
