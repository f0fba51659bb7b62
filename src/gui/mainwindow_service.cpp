#include "core/estimateddelivery.h"
#include "gui/mainwindow.h"
#include "platform/environment.h"
#include "watch/news.h"

#include "gui/servicesettings.h"
#include "platform/gatewaychild.h"
#include "platform/httpclient.h"
#include "serviceconfig/serviceconfig.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>

namespace zjx {

void MainWindow::buildDataSourceCaption(QWidget* statusArea) {
    // Free space of the status strip under the menu: the design's controls stay where they are.
    dataSourceCaption = new QLabel(statusArea);
    dataSourceCaption->setObjectName(QStringLiteral("dataSourceCaption"));
    // A value label: read as what it says, its caption as the description.
    dataSourceCaption->setAccessibleDescription(QStringLiteral("数据来源"));
    dataSourceCaption->setTextFormat(Qt::PlainText);
    dataSourceCaption->setGeometry(10, 41, 128, 15);
    QFont small = dataSourceCaption->font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    dataSourceCaption->setFont(small);
    setLabelColour(dataSourceCaption, Qt::white);
    // Until the first answer says who answered: the configuration the own service was given.
    showDataSource(configuredBackend());
}

void MainWindow::showDataSource(const QString& backend) {
    dataSourceCaption->setText(backendCaption(backend));
    dataSourceCaption->setToolTip(backend == u"demo"
                                      ? QStringLiteral("演示数据:这些快递的物流信息都是虚构的。"
                                                       "要查询真实的快递,请在菜单的“查询服务设置”中选择服务商")
                                      : QString());
}

void MainWindow::showServiceStopped() {
    dataSourceCaption->setText(QStringLiteral("查询服务未运行"));
    dataSourceCaption->setToolTip(QStringLiteral("程序自带的查询服务没有运行,查询不到快递;原因见查询提示"));
}

QString MainWindow::configuredBackend() {
    if (Settings::trackingHostConfigured())
        return {};
    ServiceConfigFile file;
    file.load(ServiceConfigFile::defaultPath());
    return file.settings().backend;
}

void MainWindow::readServiceHeaders(const HttpResult& result) {
    m_answerState = result.ok() ? result.header("X-Zjx-State") : QByteArray();
    m_answerBackend = result.ok() ? QString::fromLatin1(result.header("X-Zjx-Backend")).trimmed() : QString();
    if (!result.ok())
        return;
    showDataSource(QString::fromLatin1(result.header("X-Zjx-Backend")));
    m_answerEstimate = result.status < 400 ? result.header("X-Zjx-Estimated-Delivery") : QByteArray();
    if (result.status < 400)
        if (const QByteArray fetched = result.header("X-Zjx-Fetched"); !fetched.isEmpty())
            m_doneHint = staleHint(QString::fromLatin1(fetched));
}

void MainWindow::showEstimate() {
    const QString text =
        estimatedDeliveryText(m_answerEstimate, Clock::now().date(), Label12[2]->text() == deliveredState);
    estimateLabel->setText(text);
    estimateLabel->setAccessibleName(text); // a label that shows a value exposes the value
}

QString MainWindow::serviceFaultHint(const HttpResult& result) {
    m_faultWord = QString::fromLatin1(result.header("X-Zjx-Reason"));
    QString tail;
    if (m_faultWord == u"phone-tail" && !Settings::trackingHostConfigured()) {
        ServiceConfigFile file;
        file.load(ServiceConfigFile::defaultPath());
        tail = file.settings().phoneTail;
    }
    m_faultHint = reasonHint(m_faultWord, tail);
    return m_faultHint;
}

ServiceSettingsWindow* MainWindow::serviceSettingsWindow() const {
    return m_serviceSettings;
}

void MainWindow::openServiceSettings() {
    if (m_serviceSettings) {
        m_serviceSettings->raise();
        m_serviceSettings->activateWindow();
        return;
    }
    const QString external = Settings::trackingHostConfigured() ? m_settings.trackingHost : QString();
    auto* window = new ServiceSettingsWindow(ServiceConfigFile::defaultPath(),
                                             QCoreApplication::applicationDirPath() + QStringLiteral("/zjx-service"),
                                             external, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::ApplicationModal);
    // The chosen parcel, else the one asked last (a parcel just added from the add panel).
    if (!queryNumber.isEmpty())
        window->setCheckParcel(queryNumber, companyName);
    else
        window->setCheckParcel(m_askedNumber, m_askedCompany);
    connect(window, &ServiceSettingsWindow::saved, this,
            [this](const ServiceSettings& now, const ServiceSettings& before) {
                // A hint the saved settings answer (a new key after 密钥错误) goes at once.
                if (!m_faultHint.isEmpty() && Label11[2]->text().contains(m_faultHint) &&
                    settingsAnswer(m_faultWord, before, now))
                    setHint(QStringLiteral("查询服务设置已保存"));
                showDataSource(now.backend);
                restartGateway();
            });
    m_serviceSettings = window;
    window->show();
}

void MainWindow::restartGateway() {
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
