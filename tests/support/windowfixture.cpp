#include "support/windowfixture.h"
#include "gui/addparcelpanel.h"
#include "gui/commandbar.h"
#include "support/files.h"
#include "support/scriptedseams.h"

#include "gui/platform/alertplayer.h"
#include "gui/platform/desktopnotifier.h"
#include "gui/platform/filedialog.h"
#include "gui/platform/messagebox.h"
#include "platform/environment.h"
#include "support/scriptedseams.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace zjx::test {

WindowFixture::WindowFixture(const QString& hostPort) : m_urls(std::make_unique<UrlRecorder>()) {
    qputenv("ZJX_TRACKING_HOST", hostPort.toUtf8());
    qputenv("ZJX_BRANCH_HOST", hostPort.toUtf8());
    const QByteArray site = "http://" + hostPort.toUtf8();
    qputenv("ZJX_SOFTWARE_SITE", site);
    qputenv("ZJX_FORUM_SITE", site + "/forum");
    qputenv("ZJX_FEEDBACK_SITE", site + "/feedback");
    qputenv("ZJX_HOME_SITE", site + "/home");
    ProgramFolder::setOverride(m_dir.path());
    ScriptedBoxes::install();
    ScriptedBoxes::clearShown();
    ScriptedSaveDialog::install();
    ScriptedSaveDialog::clearNextFileName();
    ScriptedAlerts::install();
    QuietDesktop::install(); // never on the desktop of whoever runs the tests
    QDesktopServices::setUrlHandler(QStringLiteral("http"), m_urls.get(), "openUrl");
}

WindowFixture::~WindowFixture() {
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    ProgramFolder::setOverride(QString());
    Clock::setOverride({});
    ProgramEnd::setHandler({});
    ScriptedBoxes::verifyAllSeen();
    ScriptedBoxes::clearShown();
    QuietDesktop::verifyAllSeen();
}

QString WindowFixture::storePath() const {
    return m_dir.filePath(QStringLiteral("wlnum.ini"));
}

void WindowFixture::writeStore(const QByteArray& bytes) const {
    QFile f(storePath());
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray WindowFixture::storeBytes() const {
    return fileBytes(storePath());
}

bool WindowFixture::storeExists() const {
    return QFile::exists(storePath());
}

std::unique_ptr<MainWindow> WindowFixture::makeWindow(bool released) const {
    auto window = std::make_unique<MainWindow>();
    if (released)
        release(*window);
    return window;
}

std::unique_ptr<MainWindow> WindowFixture::shownWindow(bool active) const {
    auto window = makeWindow();
    window->move(100, 100);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return nullptr;
    if (active) {
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            return nullptr;
    }
    return window;
}

void WindowFixture::release(MainWindow& window) {
    window.versionTimer().stop();
    window.addPanel().setQueryEnabled(true);
    window.commandBar().setSelectorEnabled(true);
    window.setHint(QStringLiteral("程序已加载完毕..."));
}

} // namespace zjx::test
