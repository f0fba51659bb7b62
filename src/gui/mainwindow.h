#pragma once

#include "book/bookkeeper.h"
#include "gui/framedwindow.h"
#include "platform/environment.h"
#include "serviceconfig/servicelink.h"

#include <QPointer>
#include <QStringList>
#include <QTimer>

namespace zjx {

class AddParcelPanel;
class AlertPlayer;
class BackgroundTray;
class BatchAddWindow;
class CommandBar;
class CompanyFinderWindow;
class DesktopNotifier;
class GatewayChild;
class MainMenu;
class OverviewWindow;
class ParcelPanel;
class ParcelQuery;
class ProgressList;
class RequerySchedule;
class SchedulePanel;
class StatusStrips;
class WatchKeeper;
struct NewsNotice;

// The main window: builds its parts (the strips, the menu, the command row, the progress list
// and the three panels) and the tasks behind them, and connects them. See README.md beside it.
class MainWindow : public FramedWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The parts.
    StatusStrips& strips() { return *m_strips; }
    MainMenu& menu() { return *m_menu; }
    CommandBar& commandBar() { return *m_commandBar; }
    ProgressList& progressList() { return *m_progress; }
    AddParcelPanel& addPanel() { return *m_addPanel; }
    ParcelPanel& parcelPanel() { return *m_parcelPanel; }
    SchedulePanel& schedulePanel() { return *m_schedulePanel; }
    // The tasks.
    BookKeeper& bookKeeper() { return m_keeper; }
    ParcelQuery& parcelQuery() { return *m_query; }
    RequerySchedule& requerySchedule() { return *m_schedule; }
    WatchKeeper& watchKeeper() { return *m_watch; }
    ServiceLink& serviceLink() { return m_link; }
    AlertPlayer* alertPlayer() const { return m_alerts; }
    QTimer& versionTimer() { return m_versionTimer; } // once, a second after the start
    BackgroundTray& backgroundTray() { return *m_tray; } // the tray icon while the watch is on

    void useGateway(GatewayChild* gateway) { m_link.useGateway(gateway); }
    void setHint(const QString& text); // the hint line, with the marks of the book's state

    // What the window's commands do.
    void checkVersion();
    void askAboutChosen(); // the selector's parcel is asked about again
    void startQuery();     // "开始查询"
    void openParcelPanel(); // "操作"
    void clearBook();      // "清空"
    void copyParcel();     // "复制"
    void deleteParcel();   // "删除"
    void openFinder();     // "快捷搜索"
    // "批量添加", with a pasted list when there is one; the window stays open beside this one.
    void openBatchAdd(const QString& listText = QString());
    BatchAddWindow* batchAddWindow() const;
    CompanyFinderWindow* makeFinder(); // a finder that chooses in this window, not shown yet

    // A later start of the program on this book, by its command word: "overview" (zjx --overview)
    // opens the overview; a plain start ("raise"), or a word this version does not know, brings the
    // window forward.
    void followLaterStart(const QString& command);

    // Every parcel at a glance, and what it asks of the window.
    void openOverview();
    OverviewWindow* overview() const;
    void showRecord(const QString& record); // as if the user had chosen it in the selector
    // A notification was clicked: its parcel is shown here and chosen in the overview; the grouped
    // one opens the overview with the parcels it named.
    void noticeClicked(const QString& key);
    void archiveRecords(const QStringList& records);
    void restoreRecords(const QStringList& records);
    void deleteRecords(const QStringList& records, bool archived);

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildTasks();
    void connectParts();
    void release(const QString& hint); // the version check is over: queries may start
    void chooseFirst(); // the first parcel of the book chosen (and asked about), or none
    void changeParcel(const QString& number, const QString& company, const QString& note);
    void notify(const NewsNotice& notice);
    void connectIntake();
    // "开始查询" under a company the user or a guess chose; `recognised` says how it was found.
    void askNew(const QString& recognised = QString());
    // "开始查询" under a company nobody chose: the service recognises the number first.
    void recogniseThenAsk();
    // The window became active: a number on the clipboard the book lacks is offered, once.
    void offerClipboard();

    ServiceLink m_link;
    BookKeeper m_keeper;
    StatusStrips* m_strips = nullptr;
    MainMenu* m_menu = nullptr;
    CommandBar* m_commandBar = nullptr;
    ProgressList* m_progress = nullptr;
    ParcelPanel* m_parcelPanel = nullptr;
    AddParcelPanel* m_addPanel = nullptr;
    SchedulePanel* m_schedulePanel = nullptr;
    WatchKeeper* m_watch = nullptr;
    ParcelQuery* m_query = nullptr;
    RequerySchedule* m_schedule = nullptr;
    AlertPlayer* m_alerts = nullptr;
    DesktopNotifier* m_notifier = nullptr; // made with the first notice
    BackgroundTray* m_tray = nullptr;
    QTimer m_versionTimer;
    QPointer<OverviewWindow> m_overview;
    QPointer<BatchAddWindow> m_batchAdd;
    QString m_clipboardSeen; // the clipboard text offered last
    quint64 m_recognition = 0; // the recognition "开始查询" waits for
};

} // namespace zjx
