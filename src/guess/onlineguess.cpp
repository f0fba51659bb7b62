#include "guess/onlineguess.h"

#include "core/trackingrequest.h"
#include "platform/httpclient.h"

namespace zjx {

OnlineGuess::OnlineGuess(std::function<QString()> host, QObject* parent) : QObject(parent), m_host(std::move(host)) {
    m_debounce.setSingleShot(true);
    m_debounce.setInterval(debounceMs);
    connect(&m_debounce, &QTimer::timeout, this, &OnlineGuess::send);
}

void OnlineGuess::ask(const QString& number) {
    ++m_generation;
    m_number = number;
    m_debounce.start();
}

void OnlineGuess::cancel() {
    ++m_generation;
    m_debounce.stop();
}

QString OnlineGuess::url(const QString& host, const QString& number) {
    return QStringLiteral("http://") + host + QStringLiteral("/autonumber?nu=") +
           TrackingRequest::encodeNumber(number) + QStringLiteral("&id=") + TrackingRequest::accessKey();
}

QStringList OnlineGuess::codesOf(int status, const QByteArray& body) {
    if (status != 200)
        return {};
    QStringList codes;
    for (const QByteArray& line : body.split('\n')) {
        const QString code = QString::fromLatin1(line.trimmed());
        if (!code.isEmpty())
            codes << code;
    }
    return codes;
}

void OnlineGuess::send() {
    // A tracking query waits for its answer: the company is chosen already, and nothing else may
    // reach the service meanwhile.
    if (HttpClient::instance().isWaiting())
        return;
    const quint64 generation = m_generation;
    const QString number = m_number;
    HttpClient::instance().getResponsive(QUrl(url(m_host(), number)), this,
                                         [this, generation, number](const HttpResult& result) {
                                             if (generation != m_generation || !result.ok())
                                                 return;
                                             const QStringList codes = codesOf(result.status, result.bytes);
                                             if (!codes.isEmpty())
                                                 Q_EMIT answered(number, codes);
                                         });
}

} // namespace zjx
