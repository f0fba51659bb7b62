#include "serviceconfig/servicelink.h"

#include "platform/gatewaychild.h"
#include "serviceconfig/serviceconfig.h"
#include "platform/httpclient.h"

#include <QUrl>
#include <utility>

namespace zjx {

ServiceLink::ServiceLink(QObject* parent) : QObject(parent), m_settings(Settings::fromEnvironment()) {}

void ServiceLink::useGateway(GatewayChild* gateway) {
    m_gateway = gateway;
    connect(gateway, &GatewayChild::ready, this, &ServiceLink::gatewayReady);
    connect(gateway, &GatewayChild::failed, this, &ServiceLink::gatewayFailed);
    connect(gateway, &GatewayChild::restarting, this, [this](const QString& reason) {
        m_trouble = QStringLiteral("本地查询服务已停止:") + reason + QStringLiteral(",正在重新启动");
        Q_EMIT troubled(m_trouble, QString());
    });
    // A child that could not even be started has said so before the window was there.
    if (gateway->state() == GatewayChild::State::Ready)
        gatewayReady(gateway->address());
    else if (gateway->state() == GatewayChild::State::Failed)
        gatewayFailed(gateway->failure());
}

const Settings& ServiceLink::networkSettings() {
    // A child not started yet is started now; the outcome goes to gatewayReady or gatewayFailed.
    if (m_gateway &&
        (m_gateway->state() == GatewayChild::State::NotStarted || m_gateway->state() == GatewayChild::State::Starting))
        m_gateway->waitForAddress(gatewayWaitMs);
    return m_settings;
}

void ServiceLink::gatewayReady(const QString& address) {
    m_gatewayWasReady = true;
    m_settings = Settings::fromEnvironment(address);
    if (!std::exchange(m_trouble, {}).isEmpty())
        Q_EMIT recovered(QStringLiteral("本地查询服务已重新启动"));
}

void ServiceLink::gatewayFailed(const QString& reason) {
    const QString opening =
        m_gatewayWasReady ? QStringLiteral("本地查询服务已停止:") : QStringLiteral("本地查询服务未能启动:");
    // The most common cause has a way out the user can take, said in a line that fits; anything
    // else keeps the service's words, the whole of them in the tooltip.
    m_trouble = configTooOpen(ServiceConfigFile::defaultPath())
                    ? QStringLiteral("查询服务设置文件权限过宽,请打开查询服务设置并保存")
                    : opening + reason;
    const QString detail = m_gateway && !m_gateway->failureDetail().isEmpty() ? m_gateway->failureDetail() : reason;
    Q_EMIT troubled(m_trouble, opening + detail);
}

bool ServiceLink::failed() const {
    return m_gateway && m_gateway->state() == GatewayChild::State::Failed;
}

void ServiceLink::expectVisit(const QString& address) {
    const QUrl url(address);
    if (m_gateway && m_gateway->state() == GatewayChild::State::Ready &&
        QUrl(QStringLiteral("http://") + m_gateway->address()).authority() == url.authority())
        m_gateway->expectVisit(url.path().isEmpty() ? QStringLiteral("/") : url.path());
}

void ServiceLink::restartGateway() {
    if (!m_gateway)
        return;
    // The query waiting for the old service gets its answer first; the restart follows at once.
    if (HttpClient::instance().isWaiting()) {
        auto* once = new QObject(this);
        connect(&HttpClient::instance(), &HttpClient::waitEnded, once, [this, once] {
            once->deleteLater();
            restartGateway();
        });
        return;
    }
    // A trouble on the hint line stays until the new service is up, which then says so.
    m_gateway->restart();
}

} // namespace zjx
