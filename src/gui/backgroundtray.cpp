#include "gui/backgroundtray.h"

#include "gui/mainwindow.h"
#include "gui/platform/desktopnotifier.h"
#include "gui/platform/traypresence.h"
#include "platform/environment.h"
#include "schedule/watchkeeper.h"
#include "watch/bookwatch.h"

#include <QAction>
#include <QFont>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSettings>
#include <QSystemTrayIcon>

namespace zjx {
namespace {

const QString hidingToldKey = QStringLiteral("background/hidingTold");
const QString hidingNoticeKey = QStringLiteral("|background");
// Qt answers once per run whether a StatusNotifierItem host is there: at a login start it is asked
// only after this long, so a panel that starts with the program is not missed for good.
constexpr int ownProbeMs = 3000;

} // namespace

BackgroundTray::BackgroundTray(MainWindow& window) : QObject(&window), m_window(window) {
    m_menu = new QMenu(&window);
    QAction* open = m_menu->addAction(QStringLiteral("打开踪迹匣"), &window, &MainWindow::bringToFront);
    m_menu->setDefaultAction(open);
    m_menu->addAction(QStringLiteral("全部快递"), &window, &MainWindow::openOverview);
    m_watchAction = m_menu->addAction(QStringLiteral("自动跟踪全部快递"));
    m_watchAction->setCheckable(true);
    connect(m_watchAction, &QAction::toggled, this, [this](bool on) { m_window.watchKeeper().setEnabled(on); });
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("退出"), this, &BackgroundTray::endProgram);

    m_soon.setSingleShot(true);
    m_soon.setInterval(200);
    connect(&m_soon, &QTimer::timeout, this, &BackgroundTray::follow);
    m_minute.setInterval(60 * 1000);
    connect(&m_minute, &QTimer::timeout, this, &BackgroundTray::follow);
    m_trayWait.setInterval(500);
    connect(&m_trayWait, &QTimer::timeout, this, &BackgroundTray::lookForTray);

    WatchKeeper& keeper = window.watchKeeper();
    connect(&keeper, &WatchKeeper::enabledChanged, this, &BackgroundTray::follow);
    connect(&keeper, &WatchKeeper::changed, this, &BackgroundTray::followSoon);
    connect(&keeper.bookWatch(), &BookWatch::costChanged, this, &BackgroundTray::followSoon);
    connect(&keeper.parcelStates(), &ParcelStates::changed, this, &BackgroundTray::followSoon);
    connect(&keeper.parcelStates(), &ParcelStates::reset, this, &BackgroundTray::followSoon);
    follow();
}

BackgroundTray::~BackgroundTray() {
    // The icon leaves the tray with the program, not a moment later.
    if (m_icon)
        m_icon->hide();
}

bool BackgroundTray::iconShown() const {
    return m_icon && m_icon->isVisible();
}

WatchSummary BackgroundTray::summary() const {
    WatchKeeper& keeper = m_window.watchKeeper();
    return WatchSummary::of(keeper.bookWatch().plan().parcels(), keeper.parcelStates(), keeper.bookWatch(),
                            Clock::now());
}

void BackgroundTray::followSoon() {
    if (iconShown())
        m_soon.start();
}

void BackgroundTray::follow() {
    if (m_waitingForTray)
        return;
    const bool watchOn = m_window.watchKeeper().bookWatch().enabled();
    {
        const QSignalBlocker quiet(m_watchAction);
        m_watchAction->setChecked(watchOn);
    }
    if (m_window.isVisible())
        m_hiddenByTray = false;
    const bool tray = watchOn && TrayPresence::available();
    // Out of sight with no icon to bring it back: the window comes back instead.
    if (!tray && m_hiddenByTray) {
        m_hiddenByTray = false;
        m_window.bringToFront();
    }
    if (!tray) {
        if (m_icon)
            m_icon->hide();
        m_minute.stop();
        return;
    }
    const WatchSummary now = summary();
    const QString badge = WatchSummary::badge(now.unread);
    const QString tip = now.toolTip();
    if (!m_icon) {
        m_icon = new QSystemTrayIcon(badgedIcon(badge), this);
        m_icon->setContextMenu(m_menu);
        connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
                toggleWindow();
        });
        m_badge = badge;
    } else if (badge != m_badge) {
        m_icon->setIcon(badgedIcon(badge));
        m_badge = badge;
    }
    if (tip != m_toolTip) {
        m_icon->setToolTip(tip);
        m_toolTip = tip;
    }
    m_icon->show();
    if (!m_minute.isActive())
        m_minute.start();
}

CloseAction BackgroundTray::closeRequested() {
    const CloseChoice choice = chooseClose(iconShown() && TrayPresence::available(),
                                           m_window.watchKeeper().bookWatch().enabled(), hidingTold());
    if (choice.action != CloseAction::HideToTray)
        return choice.action;
    hideWindow();
    if (choice.tellHidden) {
        if (!m_notifier) {
            m_notifier = new DesktopNotifier(this);
            connect(m_notifier, &DesktopNotifier::activated, &m_window, &MainWindow::bringToFront);
        }
        m_notifier->notify(hidingNoticeKey, QStringLiteral("踪迹匣仍在后台跟踪快递,可从托盘图标打开或退出"), QString());
        QSettings(m_window.watchKeeper().settingsPath(), QSettings::IniFormat).setValue(hidingToldKey, true);
    }
    return choice.action;
}

bool BackgroundTray::hidingTold() const {
    return QSettings(m_window.watchKeeper().settingsPath(), QSettings::IniFormat).value(hidingToldKey).toBool();
}

void BackgroundTray::hideWindow() {
    m_hiddenByTray = true;
    m_window.hide();
}

void BackgroundTray::toggleWindow() {
    if (m_window.isVisible() && !m_window.isMinimized() && m_window.isActiveWindow())
        hideWindow();
    else
        m_window.bringToFront();
}

void BackgroundTray::endProgram() {
    if (m_icon)
        m_icon->hide();
    ProgramEnd::now();
}

void BackgroundTray::startHidden(int waitMs) {
    m_window.watchKeeper().setEnabled(true);
    m_hiddenByTray = true;
    m_waitingForTray = true;
    m_waitMs = waitMs;
    m_waited.start();
    lookForTray();
    if (m_waitingForTray)
        m_trayWait.start();
}

void BackgroundTray::lookForTray() {
    const qint64 waited = m_waited.elapsed();
    // Qt's own answer is asked for once ours says yes, or once a panel had time to start.
    const bool found = (TrayPresence::statusNotifierHostNow() || waited >= std::min(ownProbeMs, m_waitMs)) &&
                       TrayPresence::available();
    if (!found && waited < m_waitMs)
        return;
    m_trayWait.stop();
    m_waitingForTray = false;
    if (chooseStart(true, false, found) == StartAction::ShowWindow) {
        m_hiddenByTray = false;
        m_window.bringToFront();
    }
    follow();
}

QIcon BackgroundTray::badgedIcon(const QString& badge) {
    QIcon icon;
    for (const int size : {32, 64}) {
        QPixmap picture = QPixmap(QStringLiteral(":/art/zjx-64.png"))
                              .scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (!badge.isEmpty()) {
            QPainter painter(&picture);
            painter.setRenderHint(QPainter::Antialiasing);
            QFont font;
            font.setBold(true);
            font.setPixelSize(badge.size() > 2 ? size * 3 / 10 : size * 4 / 10);
            painter.setFont(font);
            // A round mark for one digit, a pill for more, in the lower right corner (the pin is top right).
            const int height = size * 11 / 20;
            const int width = std::max(height, painter.fontMetrics().horizontalAdvance(badge) + size / 5);
            const QRectF mark(size - width, size - height, width, height);
            QPainterPath path;
            path.addRoundedRect(mark.adjusted(1, 1, -1, -1), height / 2.0 - 1, height / 2.0 - 1);
            painter.setPen(QPen(Qt::white, std::max(1, size / 32)));
            painter.setBrush(QColor(0xe5, 0x39, 0x35));
            painter.drawPath(path);
            painter.setPen(Qt::white);
            painter.drawText(mark, Qt::AlignCenter, badge);
        }
        icon.addPixmap(picture);
    }
    return icon;
}

} // namespace zjx
