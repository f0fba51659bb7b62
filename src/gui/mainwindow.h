#pragma once

#include "book/archive.h"
#include "book/parcelbook.h"
#include "core/querysession.h"
#include "guess/companyguess.h"
#include "platform/environment.h"
#include "watch/newsbatch.h"
#include "watch/parcelstates.h"

#include <QColor>
#include <QPointer>
#include <QStringList>
#include <QTime>
#include <QWidget>
#include <array>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace zjx {

class AlertPlayer;
class BookWatch;
class Class1;
class OverviewWindow;
class DesktopNotifier;
class GatewayChild;
class OnlineGuess;
class ServiceSettingsWindow;
class SaveCadence;
struct HttpResult;

// The main window: it owns every control, the parcel book, the timers and the window state, and
// its handlers carry the names the program has always used. Its member definitions are split by
// subsystem into the mainwindow_*.cpp files beside this one.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The program's version shown in the hint strip.
    static constexpr int versionMajor = 4;
    static constexpr int versionMinor = 0;
    static constexpr int versionRevision = 181;
    static QString ownVersionText() { return QStringLiteral("V4.0"); }

    // Progress list columns: keys and positions.
    enum Column { ColumnXh = 0, ColumnSj = 1, ColumnWl = 2 };

    // ---- controls (named as the program has always named them) ----
    // command row and progress list
    QComboBox* Text1 = nullptr;       // saved-parcel selector: one note per record
    QPushButton* Command14 = nullptr; // 操作
    QPushButton* Command7 = nullptr;  // 清空
    QPushButton* Command3 = nullptr;  // 添加
    QPushButton* Command6 = nullptr;  // 导出
    QPushButton* Command4 = nullptr;  // 设置
    QTreeWidget* ListView1 = nullptr;
    // strips
    std::array<QLabel*, 6> Label11{}; // 0 caption, 2 hint line, 3 version, 4 maker, 5 clock
    std::array<QLabel*, 4> Label12{}; // 0/1 headings, 2 parcel state, 3 update state
    QLabel* estimateLabel = nullptr;  // the estimated delivery beside the parcel state
    QComboBox* Combo5 = nullptr;      // menu
    // add panel
    QFrame* Picture3 = nullptr;
    QComboBox* Text3 = nullptr; // tracking number, editable
    QComboBox* Combo1 = nullptr;
    QLineEdit* Text2 = nullptr; // note
    QCheckBox* Check1 = nullptr;
    QPushButton* Command1 = nullptr; // 开始查询
    QPushButton* Command2 = nullptr; // 快捷搜索
    QLabel* aicAlphaImage5 = nullptr;
    // edit panel
    QFrame* Picture5 = nullptr;
    QLineEdit* Text4 = nullptr;
    QComboBox* Text5 = nullptr;
    QLineEdit* Text6 = nullptr;
    QPushButton* Command13 = nullptr; // 修改
    QPushButton* Command9 = nullptr;  // 删除
    QPushButton* Command12 = nullptr; // 复制
    QPushButton* Command15 = nullptr; // 快捷搜索
    QLabel* aicAlphaImage2 = nullptr;
    // settings panel
    QFrame* Picture4 = nullptr;
    QGroupBox* Frame4 = nullptr;      // 定时查询功能
    QComboBox* Combo2 = nullptr;      // hour
    QComboBox* Combo3 = nullptr;      // minute
    QPushButton* Command8 = nullptr;  // 开始定时 / 关闭定时
    QPushButton* Command10 = nullptr; // 循环查询
    QGroupBox* Frame6 = nullptr;      // 循环查询功能
    QComboBox* Combo4 = nullptr;      // interval in minutes
    QPushButton* Command5 = nullptr;  // 开始循环 / 停止循环
    QPushButton* Command11 = nullptr; // 定时查询
    QLabel* aicAlphaImage1 = nullptr;
    // timers
    QTimer* Timer1 = nullptr; // 100 ms, the deferred parse
    QTimer* Timer3 = nullptr; // 1000 ms, version check, once
    QTimer* Timer4 = nullptr; // 1000 ms, timed query
    QTimer* Timer5 = nullptr; // 1000 ms, clock
    QTimer* Timer6 = nullptr; // 60000 ms, loop query
    AlertPlayer* W1 = nullptr;
    Class1* tooltipBalloon = nullptr; // made on the first click of the progress list

    // ---- the parcel book ----
    ParcelBook book;
    const QStringList& Combo6 = book.records();        // the record lines, never shown; same index as Text1
    QString& chosenRecordText = book.chosenRecordText; // the record of the parcel chosen last
    QString storePath() const { return book.path(); }

    // ---- the tracking query ----
    QuerySession query;
    QString& answerText = query.answerText;
    qint16& rowCount = query.rowCount;
    qint16& cellIndex = query.cellIndex; // kept by name and reset with the parse state; nothing reads it

    // ---- window state ----
    QString companyCode;
    QString queryNumber;
    QString companyName;
    QString parcelNote;
    QString parcelIndexText;
    qint16 progressCount = 0;
    qint16 lastProgressCount = 0;
    qint16 loopMinutes = 0;

    const Settings& settings() const { return m_settings; }
    // The program's own tracking service: its address replaces the local-service defaults once it
    // is known, and a service that cannot start is said in the hint line.
    void useGateway(GatewayChild* gateway);
    static constexpr int gatewayWaitMs = 5000; // the longest a network user waits for its port
    void setHint(const QString& text);         // Label11 index 2

    // ---- start-up and shutdown (mainwindow.cpp) ----
    void Form_Load();
    void Form_QueryUnload(qint16& cancel);
    void Combo5_Click();
    void Form_KeyDown(int keyCode);
    // Enter in the add panel's fields and Escape over an open panel; true when the key was taken.
    bool keyboardCommand(QWidget* focused, int key);
    void Timer5_Timer();
    void SkinH_AttachEx(const QString& path, const QString& password);
    void centrePanel(QFrame* panel);
    void showOnlyPanel(QFrame* panel); // hides the other two panels, centres this one and shows it

    // ---- catalogue (mainwindow.cpp) ----
    void kdlb();
    void Combo1_Click();

    // ---- store (mainwindow_store.cpp) ----
    // What xr did with the add panel's parcel.
    enum class Recorded { Saved, AlreadyListed, NotSaved };
    Recorded xr();
    void dq();
    void xr2();
    void reselectFirst(); // the first parcel of the book chosen, or none when the book is empty
    // Rewrites the store file from Combo6. A failure is said in a box once and then stays in the
    // hint line until a rewrite succeeds; the book in memory keeps every change.
    bool writeStore();
    bool storeSaved(const Result& saved); // tells a failed rewrite as writeStore does; true when saved
    // Empties both lists and loads the file again, keeping the chosen parcel selected.
    void reloadBook();
    // Text of the add and edit panels' boxes as a record holds it (no line breaks).
    QString addPanelNumber() const;
    QString addPanelNote() const;

    // ---- update verdict (mainwindow_update.cpp) ----
    // A query the user started is judged by the entry counts; an automatic re-query by what was
    // last shown or told for that parcel, and only its news reaches the desktop.
    void gxtj();
    // What is known per parcel; the watch of the whole book and the overview share it.
    ParcelStates& parcelStates() { return m_parcelStates; }

    // ---- version check (mainwindow_version.cpp) ----
    void Timer3_Timer();

    // ---- tracking query (mainwindow_query.cpp) ----
    void kdgs(const QString& number, const QString& shownCompany);
    void cx();
    void hx2();
    void Timer1_Timer();
    void csh();
    void clearProgressList();
    void Command1_Click();
    void Command3_Click();

    // ---- parcel list and editing (mainwindow_book.cpp) ----
    void Text1_Click();
    void Command14_Click();
    void Command4_Click();
    void Command7_Click();
    void Command13_Click();
    void Command9_Click();
    void Command12_Click();
    void ListView1_Click();
    void ListView1_DblClick();

    // ---- export (mainwindow_export.cpp) ----
    void Command6_Click();

    // ---- timed and loop queries (mainwindow_schedule.cpp) ----
    void Command8_Click();
    void Command5_Click();
    void Command10_Click();
    void Command11_Click();
    void Timer4_Timer();
    void Timer6_Timer();

    // ---- company finder, opened modally (mainwindow_finder.cpp) ----
    void Command2_Click();
    void Command15_Click();

    // ---- company guessed from the number (mainwindow_guess.cpp) ----
    // The number was typed, pasted (F8, Ctrl+V) or cleared: the chooser follows the number's most
    // likely company unless the user picked one by hand for it.
    void Text3_Change();
    void Combo1_Activated(); // the user picked a company by hand
    bool companyPickedByHand() const { return m_companyGuess.byHand(); }

    // ---- branch lookup, opened modally from the menu (mainwindow_branch.cpp) ----
    void openBranchLookup();

    // ---- every parcel at a glance and the watch of the whole book (mainwindow_overview.cpp) ----
    static QString overviewMenuText() { return QStringLiteral("全部快递"); }
    void openOverview();
    OverviewWindow* overview() const;
    BookWatch& bookWatch() { return *m_watch; }
    bool watchChime() const { return m_watchChime; }
    void setWatchEnabled(bool on);
    void setWatchMinutes(int minutes);
    void setWatchChime(bool on);
    void setWatchDailyLimit(int limit);
    void setWatchQuietHours(const QTime& from, const QTime& to);
    QTime watchQuietFrom() const { return m_quietFrom; }
    QTime watchQuietTo() const { return m_quietTo; }
    const QStringList& archivedRecords() const { return m_archive.records(); }
    QString archivePath() const { return m_archive.path(); }
    QString statePath() const;
    QString settingsPath() const; // the overview's size and columns and the watch's settings
    // The record shown in this window as if the user had chosen it in the selector.
    void showRecord(const QString& record);
    // A notification was clicked: its parcel is shown here and chosen in the overview; the grouped
    // one opens the overview with the parcels it named.
    void noticeClicked(const QString& key);
    void askRecords(const QStringList& records);
    void archiveRecords(const QStringList& records);
    void restoreRecords(const QStringList& records);
    void deleteRecord(const QString& record, bool archived);
    bool saveStates(); // the per-parcel knowledge to its file now

    // ---- the tracking service: its settings window and the data source (mainwindow_service.cpp) ----
    // In the status strip: who answered the parcel shown.
    QLabel* dataSourceCaption = nullptr;
    // The menu's "查询服务设置"; the open window, or null.
    void openServiceSettings();
    ServiceSettingsWindow* serviceSettingsWindow() const;
    // The caption for a back-end word of the service ("" = a service that does not say).
    void showDataSource(const QString& backend);
    // The program's own service starts again with its saved configuration; a request waiting for
    // it finishes first.
    void restartGateway();

    // Sets a label's text colour (the strips' labels are white on purple, the verdict turns red).
    static void setLabelColour(QLabel* label, const QColor& colour);
    static QColor labelColour(const QLabel* label);
    // Adds entries to a chooser without selecting one, as filling a list never selects.
    static void appendKeepingSelection(QComboBox* box, const QStringList& texts);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    void buildAddPanel();
    void buildEditPanel();
    void buildSettingsPanel();
    void connectHandlers();
    QFrame* makePanel(const QString& objectName, const QString& title, QLabel*& closeImage);

    Settings m_settings;
    // The settings for a request: waits (bounded) for the service child's port if it is not in yet.
    const Settings& networkSettings();
    void gatewayReady(const QString& address);
    void gatewayFailed(const QString& reason);
    // Opens one of the sites in the browser; a page of the program's own service is awaited by
    // the service child before the program ends.
    void openSite(QString Settings::*site);
    QPointer<GatewayChild> m_gateway;
    QPointer<ServiceSettingsWindow> m_serviceSettings;
    void buildDataSourceCaption(QWidget* statusArea);
    // Reads what the service said about an answer: the data source, a provider's fault, a stale page,
    // the provider's own parcel state.
    void readServiceHeaders(const HttpResult& result);
    QByteArray m_answerState; // X-Zjx-State of the answer being read
    QString m_answerBackend;  // X-Zjx-Backend of the answer being read
    // The hint line's sentence for a provider's fault the service named; "" when it named none.
    QString serviceFaultHint(const HttpResult& result);
    void showServiceStopped();          // the caption when the own service is not running
    static QString configuredBackend(); // the own service's file's back-end; "" for an external service
    QString m_faultWord, m_faultHint;   // the last provider fault and its hint, until a save answers it
    QString m_listedParcel;             // "number|company|" of the events in the list; "" when empty
    bool m_gatewayWasReady = false;
    QString m_gatewayTrouble; // the hint about a service child that did not start or stopped
    bool m_releaseEndsDoubleClick = false;

    // ---- query section (mainwindow_query.cpp) ----
    // A tracking request is waiting for its answer, or its parse is pending: a timed or loop tick
    // that finds one running must wait for it instead of starting another.
    bool queryInFlight() const;
    bool beginQuery(); // false while a request waits: nothing may re-enter a query then
    // Ends the query for rules 0 to 5; true for a good answer. `fromAddPanel`: the parcel is the
    // add panel's, which the no-record path may save; a re-query's parcel is listed already.
    bool applyScreening(bool fromAddPanel);
    QString m_doneHint;          // the hint the pending parse ends with, when not the usual one
    QByteArray m_answerEstimate; // X-Zjx-Estimated-Delivery of the answer being shown
    void showEstimate();
    // ---- book section (mainwindow_store, mainwindow_book, mainwindow_export) ----
    // The listed parcel with this number and company becomes the chosen one, without a re-query.
    void chooseListed(const QString& number, const QString& company);
    QTreeWidgetItem* selectedProgressRow() const; // null when no row with a number is selected
    bool putOnClipboard(const QString& text);     // false when there is no clipboard to use
    bool ExportListViewContent(QTreeWidget* objListView, const QString& strFilePath, QString* error = nullptr);
    QString m_lastExportName; // offered again by the save dialog
    // Why the file is behind the book in memory (a failed rewrite, a book that cannot be read);
    // empty when both agree. Every hint carries a short mark of it until the next good rewrite.
    QString m_storeProblem;
    bool m_storeProblemTold = false; // its box was shown
    // Text1 shows the book's notes: it follows every change of the book here, and only here.
    void connectBook();
    void showLoaded(const ParcelBook::Loaded& loaded); // the hint about what reading the file found
    QString withBookState(const QString& hint) const;
    // ---- schedule section (mainwindow_schedule.cpp) ----
    void setScheduleLock(bool locked, QWidget* chooser, QWidget* otherChooser = nullptr);
    // A timed or loop re-query of the chosen parcel; one that falls due while another query is in
    // flight runs right after that one has ended.
    enum class RequeryMode { Timed, Loop };
    void requery(RequeryMode mode);
    bool requeryMustWait() const;
    bool requeryWaits(RequeryMode mode) const; // one of this mode's current run waits to run
    // Runs the waiting re-query once nothing it must wait for is left: called when a query
    // finishes, when the last box closes and when a re-query is over.
    void runPendingRequery();
    void connectQuery();
    void runRequery();
    void endTimedQuery(); // the timed query has fired: disarm it
    // Counts each start and stop of the timed and the loop query: a re-query that waited is dropped
    // when the count of its mode moved meanwhile.
    std::array<quint32, 2> m_modeRuns{};
    bool m_requeryRunning = false;
    // ---- update section (mainwindow_update.cpp) ----
    // News found while the user looks elsewhere goes to the desktop as a notification too.
    void notifyNews(bool delivered);
    void bringToFront();                   // the notification's default action
    DesktopNotifier* m_notifier = nullptr; // made with the first notice
    QString m_askedNumber;                 // the parcel whose answer is being read, as kdgs asked for it
    QString m_askedCompany;
    bool m_askedAutomatically = false; // the answer being read is a timed or loop re-query's
    ParcelStates m_parcelStates;
    // ---- overview section (mainwindow_overview.cpp) ----
    void setupWatch();
    void bookChanged(); // the watch and the overview follow the book
    void tellWatchNews(const QList<ParcelNews>& news);
    QList<ParcelKey> m_groupedNews; // the parcels of the last grouped notice
    ParcelArchive m_archive;
    BookWatch* m_watch = nullptr;
    QPointer<OverviewWindow> m_overview;
    SaveCadence* m_stateSaver = nullptr;
    bool m_watchChime = true;
    QTime m_quietFrom;
    QTime m_quietTo;
    // ---- guess section (mainwindow_guess.cpp) ----
    void connectGuess();
    void onlineGuessAnswered(const QString& number, const QStringList& codes);
    void applyGuess(const CompanyGuess::Step& step);
    QString m_guessHint;       // the guess shown in the hint line, as shown
    QString m_hintBeforeGuess; // what the hint line said before it
    CompanyGuess m_companyGuess;
    OnlineGuess* m_onlineGuess = nullptr; // for numbers the published formats leave open
    // ---- chrome section (mainwindow_chrome.cpp) ----
public:
    // The window's own surface (not the panels or other controls); x, y in its pixels.
    void Form_MouseMove(Qt::MouseButtons button, Qt::KeyboardModifiers shift, int x, int y);
    void Form_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void Form_MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    // A press on a panel's background starts dragging it with the mouse.
    void Picture3_MouseDown(const QPointF& globalPosition);
    void Picture4_MouseDown(const QPointF& globalPosition);
    void Picture5_MouseDown(const QPointF& globalPosition);
    void aicAlphaImage1_Click(); // hides Picture4
    void aicAlphaImage2_Click(); // hides Picture5
    void aicAlphaImage5_Click(); // hides Picture3
    // Keeps the list's column widths: divider drags and double-clicks are refused.
    void LockListViewColumns(QTreeWidget* listView);

protected:
    void Form_Paint();
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    class Chrome; // pictures, button images, drag state and the event hooks; a child QObject
    void setupChrome();
    void teardownChrome(); // before the controls go, so its hooks never see a half-destroyed window
    Chrome* m_chrome = nullptr;
};

} // namespace zjx
