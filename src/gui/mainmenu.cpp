#include "gui/mainmenu.h"

#include "gui/branchwindow.h"
#include "gui/panelcontrols.h"
#include "gui/platform/messagebox.h"
#include "gui/platform/siteopener.h"
#include "gui/servicesettings.h"
#include "serviceconfig/serviceconfig.h"
#include "serviceconfig/servicelink.h"

#include <QCoreApplication>
#include <iterator>

namespace zjx {

MainMenu::MainMenu(ServiceLink& link, QWidget* statusArea) : QObject(statusArea), m_link(link) {
    m_chooser = controls::chooser(statusArea, QStringLiteral("menu"), QStringLiteral("菜单"), QRect(8, 15, 130, 26));
    m_chooser->addItems({QStringLiteral("网点信息查询"), QStringLiteral("程序在线反馈"), QStringLiteral("访问官方论坛"),
                         QStringLiteral("青檀坊官方网站"), QStringLiteral("访问软件工作室"),
                         QStringLiteral("神器!百宝工具箱"), QStringLiteral("查询服务设置")});
    // Entries after the six are told apart by their text, whichever order they are added in.
    m_chooser->addItem(overviewText());
    m_chooser->setCurrentIndex(-1);
    connect(m_chooser, &QComboBox::activated, this, &MainMenu::announce);
}

int MainMenu::count() const {
    return m_chooser->count();
}

QString MainMenu::entryText(int index) const {
    return m_chooser->itemText(index);
}

int MainMenu::chosenIndex() const {
    return m_chooser->currentIndex();
}

void MainMenu::choose(int index) {
    m_chooser->setCurrentIndex(index);
    announce();
}

void MainMenu::announce() {
    // The sites of the entries after the first, by their place; "神器!百宝工具箱" opens the
    // feedback site too.
    static constexpr QString Settings::*sites[] = {&Settings::feedbackSiteUrl, &Settings::forumSiteUrl,
                                                   &Settings::homeSiteUrl, &Settings::softwareSiteUrl,
                                                   &Settings::feedbackSiteUrl};
    const int index = m_chooser->currentIndex();
    const QString text = m_chooser->currentText();
    // The menu is a list of commands, not a setting: it rests empty again once one has run.
    m_chooser->setCurrentIndex(-1);
    if (index == 0)
        openBranchLookup();
    else if (index >= 1 && index <= int(std::size(sites)))
        openSite(sites[index - 1]);
    // The entries after the six, by their text.
    else if (text == QStringLiteral("查询服务设置"))
        openServiceSettings();
    else if (text == overviewText())
        Q_EMIT overviewRequested();
}

void MainMenu::openSite(QString Settings::*site) {
    const QString address = m_link.networkSettings().*site;
    SiteOpener::open(address);
    m_link.expectVisit(address);
}

bool MainMenu::farewell() {
    const QString text = QStringLiteral("感谢您对阿檀、对青檀坊系列的软件的支持!") + u'\r' + u' ' + u'\r' +
                         QStringLiteral("是否退出并到论坛可以下载更多青檀坊系列原创免费软件?");
    switch (MessageBox::questionWithCancel(m_chooser->window(), text)) {
    case MessageBox::Answer::Yes:
        openSite(&Settings::forumSiteUrl);
        return true;
    case MessageBox::Answer::No:
        return true;
    default:
        return false;
    }
}

void MainMenu::openBranchLookup() {
    // A fresh window each time: empty name box, every row "未查询".
    BranchWindow lookup(m_link.networkSettings().branchHost, m_chooser->window());
    lookup.exec();
}

void MainMenu::openServiceSettings() {
    if (m_serviceSettings) {
        m_serviceSettings->raise();
        m_serviceSettings->activateWindow();
        return;
    }
    const QString external = Settings::trackingHostConfigured() ? m_link.settings().trackingHost : QString();
    auto* window = new ServiceSettingsWindow(ServiceConfigFile::defaultPath(),
                                             QCoreApplication::applicationDirPath() + QStringLiteral("/zjx-service"),
                                             external, m_chooser->window());
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::ApplicationModal);
    const auto [number, company] = m_checkParcel();
    window->setCheckParcel(number, company);
    connect(window, &ServiceSettingsWindow::saved, this, [this](const ServiceSettings& now, const ServiceSettings& before) {
        Q_EMIT serviceSaved(now, before);
        m_link.restartGateway();
    });
    m_serviceSettings = window;
    window->show();
}

ServiceSettingsWindow* MainMenu::serviceSettingsWindow() const {
    return m_serviceSettings;
}

} // namespace zjx
