#include "providerclient.h"

#include <QDeadlineTimer>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTimer>

#include <algorithm>

namespace zjx::gateway {

namespace {

// A little more than a second: requests reach the provider with some jitter, and it counts arrivals.
constexpr qint64 kWindowMs = 1150;

} // namespace

RequestPacer::RequestPacer(int perSecond, QObject* parent)
    : QObject(parent), m_perSecond(perSecond > 0 ? perSecond : 1),
      m_clock([] { return QDeadlineTimer::current().deadline(); }), m_timer(new QTimer(this)) {
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] { drain(); });
}

void RequestPacer::run(Wanted wanted, std::function<void()> job) {
    m_waiting.push_back(Job{std::move(job), std::move(wanted)});
    drain();
}

void RequestPacer::drain() {
    while (!m_waiting.empty()) {
        if (const Wanted& wanted = m_waiting.front().wanted; wanted && !wanted()) {
            const std::function<void()> job = std::move(m_waiting.front().run);
            m_waiting.pop_front();
            job(); // reports the abandonment without touching the network
            continue;
        }
        const qint64 now = m_clock();
        while (!m_started.empty() && now - m_started.front() >= kWindowMs)
            m_started.pop_front();
        if (int(m_started.size()) >= m_perSecond) {
            if (!m_timer->isActive())
                m_timer->start(int(m_started.front() + kWindowMs - now) + 1);
            return;
        }
        m_started.push_back(now);
        const std::function<void()> job = std::move(m_waiting.front().run);
        m_waiting.pop_front();
        job();
    }
}

ProviderLink::ProviderLink(ClientOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_net(this) {
    m_net.setAutoDeleteReplies(true);
}

void ProviderLink::post(const QUrl& url, const QByteArray& contentType,
                          const QList<std::pair<QByteArray, QByteArray>>& headers, const QByteArray& body,
                          Answered answered, Failed failed, Wanted wanted) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    for (const auto& [name, value] : headers)
        request.setRawHeader(name, value);
    // A redirect would carry the key, the sign or the token to whatever host the answer names.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(m_options.timeoutMs);
    if (!m_options.extraCaCertificates.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificates(m_options.extraCaCertificates);
        request.setSslConfiguration(tls);
    }
    m_queue.push_back(Pending{request, body, std::move(answered), std::move(failed), std::move(wanted)});
    pump();
}

void ProviderLink::pump() {
    while (!m_queue.empty() && m_inFlight < std::max(1, m_options.maxInFlight)) {
        Pending next = std::move(m_queue.front());
        m_queue.pop_front();
        if (next.wanted && !next.wanted()) {
            next.failed(Outcome::failure(FaultKind::Abandoned, QStringLiteral("every client went away; not sent")));
            continue;
        }
        send(std::move(next));
    }
}

void ProviderLink::dropAbandoned() {
    std::deque<Pending> gone;
    for (auto it = m_queue.begin(); it != m_queue.end();) {
        if (it->wanted && !it->wanted()) {
            gone.push_back(std::move(*it));
            it = m_queue.erase(it);
        } else {
            ++it;
        }
    }
    for (Pending& p : gone)
        p.failed(Outcome::failure(FaultKind::Abandoned, QStringLiteral("every client went away; not sent")));
}

void ProviderLink::send(Pending pending) {
    // What a transfer learned while it ran: its body so far, and why it was cut short.
    struct Transfer {
        QByteArray body;
        bool tooLarge = false;
        bool late = false;
        QStringList tlsErrors;
    };
    auto transfer = std::make_shared<Transfer>();
    const qint64 cap = m_options.maxBodyBytes;
    QNetworkReply* reply = m_net.post(pending.request, pending.body);
    ++m_inFlight;
    // The network thread reads no further ahead than this, so a flood stops near the cap.
    reply->setReadBufferSize(256 * 1024);
    // The transfer timeout only measures silence: a provider sending one byte now and then needs a deadline.
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    connect(deadline, &QTimer::timeout, reply, [reply, transfer] {
        transfer->late = true;
        reply->abort();
    });
    deadline->start(m_options.timeoutMs);
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, transfer, cap] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > cap && !transfer->tooLarge) {
            transfer->tooLarge = true;
            reply->abort();
        }
    });
    // Taken as it arrives, so the cap holds while downloading and nothing piles up in the reply.
    connect(reply, &QNetworkReply::readyRead, reply, [reply, transfer, cap] {
        if (transfer->tooLarge)
            return;
        transfer->body += reply->readAll();
        if (transfer->body.size() > cap) {
            transfer->tooLarge = true;
            transfer->body = QByteArray();
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::sslErrors, reply, [transfer](const QList<QSslError>& errors) {
        for (const QSslError& e : errors)
            transfer->tlsErrors << e.errorString();
    });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, transfer, answered = std::move(pending.answered), failed = std::move(pending.failed)] {
                --m_inFlight;
                const QString host = reply->url().host();
                const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                if (transfer->late) {
                    failed(
                        Outcome::failure(FaultKind::Timeout, QStringLiteral("%1 did not finish its answer within %2 s")
                                                                 .arg(host)
                                                                 .arg(m_options.timeoutMs / 1000.0)));
                } else if (transfer->tooLarge) {
                    failed(Outcome::failure(FaultKind::Provider,
                                            QStringLiteral("%1 sent an answer over %2 KiB; the transfer was stopped")
                                                .arg(host)
                                                .arg(m_options.maxBodyBytes / 1024)));
                } else if (status >= 300 && status < 400) {
                    const QUrl target =
                        reply->url().resolved(reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl());
                    failed(Outcome::failure(
                        FaultKind::Provider,
                        QStringLiteral("%1 answered HTTP %2, a redirect to %3; redirects are not followed")
                            .arg(host)
                            .arg(status)
                            .arg(logSafe(target.host().isEmpty() ? QStringLiteral("nowhere") : target.host()))));
                } else {
                    // Errors below 100 are the connection's (also after the headers came: a cut
                    // answer); the others come with an HTTP status the provider chose.
                    const bool transportFault = reply->error() != QNetworkReply::NoError && reply->error() < 100;
                    if (!transportFault && status > 0) {
                        transfer->body += reply->readAll();
                        answered(HttpAnswer{status, transfer->body});
                    } else {
                        failed(transportFailure(*reply, host, transfer->tlsErrors));
                    }
                }
                pump();
            });
}

Outcome ProviderLink::transportFailure(const QNetworkReply& reply, const QString& host,
                                         const QStringList& tlsErrors) const {
    switch (reply.error()) {
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError:
        return Outcome::failure(
            FaultKind::Timeout,
            QStringLiteral("%1 gave no answer within %2 s").arg(host).arg(m_options.timeoutMs / 1000.0));
    case QNetworkReply::SslHandshakeFailedError:
        return Outcome::failure(FaultKind::Tls,
                                QStringLiteral("%1: TLS refused: %2")
                                    .arg(host, tlsErrors.isEmpty() ? reply.errorString() : tlsErrors.join(u"; ")));
    default:
        return Outcome::failure(FaultKind::Network, QStringLiteral("%1: %2").arg(host, reply.errorString()));
    }
}

Outcome ProviderLink::httpFault(int status, const QByteArray& body) const {
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
