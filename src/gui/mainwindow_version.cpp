#include "gui/mainwindow.h"

#include "core/textcodec.h"
#include "core/versioncheck.h"
#include "gui/platform/messagebox.h"
#include "gui/platform/siteopener.h"
#include "platform/gatewaychild.h"
#include "platform/httpclient.h"

#include <QComboBox>
#include <QPushButton>
#include <QTimer>

namespace zjx {

void MainWindow::Timer3_Timer() {
    // The check runs once per start.
    Timer3->stop();
    // The version file comes from the program's own service: when that did not start, the check
    // cannot say anything about updates, and the hint line says what is wrong instead.
    if (m_gateway && m_gateway->state() == GatewayChild::State::Failed) {
        setHint(m_gatewayTrouble);
        Command1->setEnabled(true);
        Text1->setEnabled(true);
        return;
    }
    const HttpResult result = HttpClient::instance().getBlocking(
        QUrl(networkSettings().softwareSiteUrl + VersionCheck::filePath()), codec::gbkServerBody);
    // A server error (5xx) is a failed check, not a version: the program must not end because the
    // maker's site is down. Other error pages count as another version, like any other body.
    const QString body = result.ok() && result.status < 500 ? result.body : QString();
    switch (VersionCheck::decide(body, ownVersionText())) {
    case VersionCheck::Outcome::Unreadable:
        MessageBox::warning(this, VersionCheck::failureText());
        setHint(QStringLiteral("程序已加载完毕..."));
        Command1->setEnabled(true);
        Text1->setEnabled(true);
        break;
    case VersionCheck::Outcome::Current:
        setHint(QStringLiteral("程序已加载完毕..."));
        Command1->setEnabled(true);
        Text1->setEnabled(true);
        break;
    case VersionCheck::Outcome::Other:
        setHint(QStringLiteral("程序已加载完毕..."));
        MessageBox::information(this, VersionCheck::noticeText(body));
        openSite(&Settings::forumSiteUrl);
        ProgramEnd::now();
        return;
    }
    // The check's own line must not hide why every query is going to fail.
    if (!m_gatewayTrouble.isEmpty())
        setHint(m_gatewayTrouble);
}

} // namespace zjx
