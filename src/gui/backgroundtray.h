#pragma once

#include "background/closechoice.h"
#include "background/traystatus.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace zjx {

class DesktopNotifier;
class MainWindow;

// The tray icon while the watch of the whole book is on: the program's icon with the number of
// parcels with unread news, a tooltip that says what the watch does, a click that shows or hides
// the main window, and a menu (打开踪迹匣, 全部快递, 自动跟踪全部快递, 退出). With it the main window's
// close button only hides the window, and the watch goes on.
class BackgroundTray : public QObject {
    Q_OBJECT
public:
    explicit BackgroundTray(MainWindow& window);
    ~BackgroundTray() override;

    // The window's close request: HideToTray has hidden the window (the close is refused); with
    // AskFarewell the farewell question decides.
    CloseAction closeRequested();
    // `--background`: the watch on and no window while a tray comes within `waitMs`; else the window.
    void startHidden(int waitMs = 10000);
    void toggleWindow(); // the icon's click
    void endProgram();   // 退出

    QSystemTrayIcon* icon() const { return m_icon; } // null until first shown
    bool iconShown() const;
    QMenu* menu() const { return m_menu; }
    QString badgeShown() const { return m_badge; }
    WatchSummary summary() const;
    // The program's icon with `badge` (a count) drawn on it.
    static QIcon badgedIcon(const QString& badge);

private:
    void follow();      // the icon shown or not, with its count and words
    void followSoon();  // many changes at once, one look
    void lookForTray(); // while starting in the background
    void hideWindow();
    bool hidingTold() const;

    MainWindow& m_window;
    QSystemTrayIcon* m_icon = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_watchAction = nullptr;
    DesktopNotifier* m_notifier = nullptr;
    QTimer m_soon;
    QTimer m_minute; // the night's pause starts and ends without a change of anything
    QTimer m_trayWait;
    QElapsedTimer m_waited;
    int m_waitMs = 0;
    bool m_waitingForTray = false;
    bool m_hiddenByTray = false;
    QString m_badge;
    QString m_toolTip;
};

} // namespace zjx
