#include "gui/mainwindow.h"

#include "book/parcelrecord.h"
#include "book/store.h"
#include "core/catalogue.h"
#include "core/regularfile.h"
#include "core/textcodec.h"
#include "core/textutil.h"
#include "core/versioncheck.h"
#include "guess/numberguess.h"
#include "gui/addparcelpanel.h"
#include "gui/backgroundtray.h"
#include "gui/commandbar.h"
#include "gui/companyfinderwindow.h"
#include "gui/mainmenu.h"
#include "gui/overviewwindow.h"
#include "gui/parcelpanel.h"
#include "gui/platform/alertplayer.h"
#include "gui/platform/desktopnotifier.h"
#include "gui/platform/messagebox.h"
#include "gui/progresslist.h"
#include "gui/schedulepanel.h"
#include "gui/statusstrips.h"
#include "platform/httpclient.h"
#include "schedule/parcelquery.h"
#include "schedule/requeryschedule.h"
#include "schedule/watchkeeper.h"
#include "watch/bookwatch.h"
#include "serviceconfig/serviceconfig.h"
#include "zjxversion.h"

#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <memory>

namespace zjx {
namespace {

const QString chooseFirstHint = QStringLiteral("请先选择快递..");

bool confirmed(QWidget* parent, const QString& question) {
    return MessageBox::question(parent, question) == MessageBox::Answer::Yes;
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : FramedWindow(parent) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("踪迹匣 ") + QLatin1String(version::release) + QStringLiteral(" - Talvo全新版"));
    setFixedSize(753, 473);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    m_strips = new StatusStrips(this);
    m_menu = new MainMenu(m_link, m_strips->statusArea());
    m_commandBar = new CommandBar(m_keeper.book(), this);
    m_progress = new ProgressList(this);
    connect(&m_keeper, &BookKeeper::hint, this, &MainWindow::setHint);
    connect(&m_keeper, &BookKeeper::warning, this, [this](const QString& text) { MessageBox::warning(this, text); });
    connect(&m_keeper, &BookKeeper::chosenQuietly, m_commandBar, &CommandBar::showChosen);
    m_keeper.book().setPath(Store::locate(ProgramFolder::path()));
    m_keeper.load();
    buildTasks();
    m_parcelPanel = new ParcelPanel(this);
    m_addPanel = new AddParcelPanel(this);
    m_schedulePanel = new SchedulePanel(*m_schedule, this);
    // Labels show hints, names and notes the program did not write itself: never as markup.
    for (QLabel* label : findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    connectParts();

    const QStringList companies = CourierCatalogue::displayNames();
    m_addPanel->setCompanies(companies);
    m_parcelPanel->setCompanies(companies);
    m_strips->setText(StatusStrips::Version, QLatin1String(version::full));
    m_addPanel->chooseCompany(0);
    const QString skinPath = ProgramFolder::path() + QStringLiteral("/skinh.she");
    if (const RegularFileRead skin = readRegularFile(skinPath); skin.ok())
        setStyleSheet(QString::fromUtf8(skin.bytes));
    else if (skin.found != FileFound::Missing) // the window works without its look
        qWarning("zjx: cannot read the skin %s: it %s", qPrintable(skinPath), qPrintable(skin.problem));
    m_versionTimer.setInterval(1000);
    connect(&m_versionTimer, &QTimer::timeout, this, &MainWindow::checkVersion);
    m_strips->clock().start();
    m_versionTimer.start();
    m_tray = new BackgroundTray(*this);
}

MainWindow::~MainWindow() {
    // The overview keeps its size and columns through the watch's settings; the watch saves the
    // last moments' knowledge beside the book while the book is there.
    delete m_overview;
    delete m_watch;
}

void MainWindow::buildTasks() {
    m_watch = new WatchKeeper(m_keeper, [this] { return m_link.networkSettings().trackingHost; }, this);
    m_query = new ParcelQuery(m_keeper, m_watch->parcelStates(), this);
    m_query->setHooks({[this] { return m_link.networkSettings().trackingHost; },
                       [this](const QString& question) { return confirmed(this, question); },
                       [this](const QString& text) { MessageBox::information(this, text); },
                       [this] { return !isVisible() || isMinimized() || !isActiveWindow(); }});
    m_schedule = new RequerySchedule(m_query->session(), this);
    m_schedule->setHooks([this] { askAboutChosen(); }, [this] { return !m_commandBar->chosenNote().isEmpty(); },
                         [] { return MessageBox::isShowing(); });
    // The last box closing may free a re-query that waited for it.
    connect(MessageBox::watch(), &MessageBoxWatch::allClosed, m_schedule, &RequerySchedule::runPending,
            Qt::QueuedConnection);
    m_keeper.setChoiceHeld([this] { return m_schedule->timedArmed() || m_schedule->loopRunning(); });
    m_alerts = new AlertPlayer(this);
}

void MainWindow::connectParts() {
    connect(m_menu, &MainMenu::overviewRequested, this, &MainWindow::openOverview);
    connect(m_menu, &MainMenu::serviceSaved, this, [this](const ServiceSettings& now, const ServiceSettings& before) {
        // A hint the saved settings answer (a new key after 密钥错误) goes at once.
        if (!m_query->faultHint().isEmpty() && m_strips->text(StatusStrips::Hint).contains(m_query->faultHint()) &&
            settingsAnswer(m_query->faultWord(), before, now))
            setHint(QStringLiteral("查询服务设置已保存"));
        m_strips->showDataSource(now.backend);
    });
    m_menu->setCheckParcel([this] {
        return m_keeper.queryNumber.isEmpty() ? std::pair(m_query->askedNumber(), m_query->askedCompany())
                                              : std::pair(m_keeper.queryNumber, m_keeper.companyName);
    });
    connect(m_commandBar, &CommandBar::parcelChosen, this, &MainWindow::askAboutChosen);
    connect(m_commandBar, &CommandBar::operateClicked, this, &MainWindow::openParcelPanel);
    connect(m_commandBar, &CommandBar::clearClicked, this, &MainWindow::clearBook);
    connect(m_commandBar, &CommandBar::addClicked, m_addPanel, &AddParcelPanel::openEmpty);
    connect(m_commandBar, &CommandBar::exportClicked, m_progress, &ProgressList::exportRows);
    connect(m_commandBar, &CommandBar::settingsClicked, m_schedulePanel, &FloatingPanel::showAlone);
    connect(m_progress, &ProgressList::hint, this, &MainWindow::setHint);

    connect(m_addPanel, &AddParcelPanel::queryRequested, this, &MainWindow::startQuery);
    connect(m_addPanel, &AddParcelPanel::finderRequested, this, &MainWindow::openFinder);
    connect(m_addPanel, &AddParcelPanel::companyChanged, this, [this](int index) {
        if (index >= 0 && index < CourierCatalogue::count)
            m_query->setCompanyCode(CourierCatalogue::serviceCode(index));
    });
    // The service child's address as it is known now: waiting for it would block the panel.
    m_addPanel->setGuessSources([this] { return m_link.settings().trackingHost; },
                                [this] { return countBookCompanies(m_keeper.records()); },
                                [this] { return m_query->inFlight(); });
    connect(m_addPanel, &AddParcelPanel::numberEdited, m_strips, &StatusStrips::numberEdited);
    connect(m_addPanel, &AddParcelPanel::guessHint, this, [this](const QString& hint) {
        if (hint.isEmpty())
            m_strips->withdrawGuess();
        else
            m_strips->showGuess(readableText(m_keeper.withBookState(hint)));
    });

    connect(m_parcelPanel, &ParcelPanel::changeRequested, this, &MainWindow::changeParcel);
    connect(m_parcelPanel, &ParcelPanel::deleteRequested, this, &MainWindow::deleteParcel);
    connect(m_parcelPanel, &ParcelPanel::copyRequested, this, &MainWindow::copyParcel);
    connect(m_parcelPanel, &ParcelPanel::finderRequested, this, &MainWindow::openFinder);

    connectIntake();
    m_schedulePanel->setParcelCheck([this] { return !m_commandBar->chosenNote().isEmpty(); });
    connect(m_schedulePanel, &SchedulePanel::holdChanged, this, [this](bool held) {
        m_commandBar->setHeld(held);
        m_addPanel->setCompanyHeld(held);
        m_parcelPanel->setDeleteHeld(held);
    });

    connect(m_query, &ParcelQuery::hint, this, &MainWindow::setHint);
    connect(m_query, &ParcelQuery::queryEnabled, m_addPanel, &AddParcelPanel::setQueryEnabled);
    connect(m_query, &ParcelQuery::listCleared, m_progress, &ProgressList::clear);
    connect(m_query, &ParcelQuery::rowsParsed, m_progress, &ProgressList::showEntries);
    connect(m_query, &ParcelQuery::stateShown, this,
            [this](const QString& state) { m_strips->setText(StatusStrips::State, state); });
    connect(m_query, &ParcelQuery::parcelSwitched, this, [this] { m_strips->showVerdict(notAskedState, false); });
    connect(m_query, &ParcelQuery::dataSource, m_strips, &StatusStrips::showDataSource);
    connect(m_query, &ParcelQuery::estimateShown, m_strips, &StatusStrips::showEstimate);
    connect(m_query, &ParcelQuery::judged, this, [this](const UpdateVerdict& verdict) {
        m_strips->showVerdict(verdict.text(), verdict.updated);
        if (verdict.updated)
            m_alerts->setSource(ProgramFolder::path() + QStringLiteral("/ts.mp3"));
    });
    connect(m_query, &ParcelQuery::news, this, &MainWindow::notify);
    connect(m_watch, &WatchKeeper::news, this, [this](const QList<NewsNotice>& notices, bool chime) {
        for (const NewsNotice& notice : notices)
            notify(notice);
        if (chime)
            m_alerts->setSource(ProgramFolder::path() + QStringLiteral("/ts.mp3"));
    });
    connect(m_watch, &WatchKeeper::changed, this, [this] {
        if (m_overview)
            m_overview->refresh();
    });
    // The watch's stop for the day is told here too, with the asks really made.
    connect(&m_watch->bookWatch(), &BookWatch::dayLimitReached, this, [this](int spent) {
        setHint(QStringLiteral("今天已查询 %1 次,达到每日上限:自动跟踪暂停,明天继续").arg(spent));
    });
    connect(&m_link, &ServiceLink::troubled, this, [this](const QString& hint, const QString& detail) {
        setHint(hint);
        if (!detail.isEmpty())
            m_strips->showServiceStopped(detail);
    });
    connect(&m_link, &ServiceLink::recovered, this, [this](const QString& hint) {
        m_strips->showServiceRunning();
        setHint(hint);
    });
}

void MainWindow::setHint(const QString& text) {
    m_strips->setText(StatusStrips::Hint, readableText(m_keeper.withBookState(text)));
}

void MainWindow::checkVersion() {
    // The check runs once per start.
    m_versionTimer.stop();
    // The version file comes from the program's own service: when that did not start, the check
    // cannot say anything about updates, and the hint line says what is wrong instead.
    if (m_link.failed())
        return release(m_link.trouble());
    const HttpResult result = HttpClient::instance().getBlocking(
        QUrl(m_link.networkSettings().softwareSiteUrl + VersionCheck::filePath()), codec::gbkServerBody);
    // A server error (5xx) is a failed check, not a version: the program must not end because the
    // maker's site is down. Other error pages count as another version, like any other body.
    const QString body = result.ok() && result.status < 500 ? result.body : QString();
    const VersionCheck::Outcome outcome = VersionCheck::decide(body, QLatin1String(version::release));
    if (outcome == VersionCheck::Outcome::Unreadable)
        MessageBox::warning(this, VersionCheck::failureText());
    setHint(QStringLiteral("程序已加载完毕..."));
    if (outcome == VersionCheck::Outcome::Other) {
        MessageBox::information(this, VersionCheck::noticeText(body));
        m_menu->openSite(&Settings::forumSiteUrl);
        ProgramEnd::now();
        return;
    }
    // The check's own line must not hide why every query is going to fail.
    release(m_link.trouble().isEmpty() ? QString() : m_link.trouble());
}

void MainWindow::release(const QString& hint) {
    if (!hint.isEmpty())
        setHint(hint);
    m_addPanel->setQueryEnabled(true);
    m_commandBar->setSelectorEnabled(true);
}

void MainWindow::askAboutChosen() {
    if (!m_keeper.choose(m_commandBar->chosenIndex()))
        return;
    m_addPanel->chooseCompanyNamed(m_keeper.companyName);
    m_query->progressCount = 0;
    m_query->lastProgressCount = 0;
    m_query->askAgain(m_keeper.queryNumber, m_keeper.companyName, m_schedule->requeryRunning());
    if (m_commandBar->addEnabled())
        m_commandBar->focusAdd();
    m_keeper.parcelIndexText = QString::number(m_commandBar->chosenIndex());
}

void MainWindow::chooseFirst() {
    if (m_commandBar->parcelCount() > 0) {
        m_commandBar->showChosen(0);
        askAboutChosen();
    } else {
        m_commandBar->showChosen(-1);
    }
}

void MainWindow::openParcelPanel() {
    if (m_commandBar->chosenNote().isEmpty())
        setHint(chooseFirstHint);
    else
        m_parcelPanel->open(m_keeper.queryNumber, m_keeper.companyName, m_keeper.parcelNote);
}

void MainWindow::clearBook() {
    // Enter or a hasty click must not empty the book: the safe answer is the default.
    if (MessageBox::questionDefaultNo(this, QStringLiteral("确定要清空查询列表吗?")) != MessageBox::Answer::Yes)
        return;
    m_addPanel->setNumberText(QString());
    m_query->clearList();
    m_keeper.clear();
}

void MainWindow::changeParcel(const QString& number, const QString& company, const QString& note) {
    const QString question = QStringLiteral("确定要修改[") + m_commandBar->chosenNote() + QStringLiteral("]此单号码?");
    m_keeper.changeChosen(ParcelRecord::build(number, company, note), confirmed(this, question));
    chooseFirst();
    m_parcelPanel->hide();
}

void MainWindow::deleteParcel() {
    const QString question = QStringLiteral("确定要删除[") + m_commandBar->chosenNote() + QStringLiteral("]此单号码?");
    const bool yes = confirmed(this, question);
    if (yes)
        m_parcelPanel->hide();
    m_keeper.removeChosen(yes);
    chooseFirst();
}

void MainWindow::copyParcel() {
    if (m_commandBar->chosenNote().isEmpty()) {
        setHint(chooseFirstHint);
        return;
    }
    setHint(ProgressList::copyToClipboard(m_keeper.chosenParcelText()) ? QStringLiteral("当前快递信息已复制..")
                                                                       : ProgressList::noClipboardHint());
}

// Both panels' finders choose in both company choosers; a found company is said in the hint line.
CompanyFinderWindow* MainWindow::makeFinder() {
    auto* finder = new CompanyFinderWindow(CourierCatalogue::displayNames(), this);
    finder->setBookUses(countBookCompanies(m_keeper.records()));
    connect(finder, &CompanyFinderWindow::companyChosen, this, [this](int index) {
        m_addPanel->setCompanyIndex(index);
        m_parcelPanel->chooseCompany(index);
    });
    connect(finder, &CompanyFinderWindow::found, this,
            [this](const QString& hint) { m_strips->setText(StatusStrips::Hint, hint); });
    return finder;
}

// A fresh finder for every opening, so the keyword box is always empty. A company the finder
// chooses is the user's own choice: no guess from the number replaces it.
void MainWindow::openFinder() {
    const std::unique_ptr<CompanyFinderWindow> finder(makeFinder());
    const int before = m_addPanel->companyIndex();
    finder->exec();
    if (m_addPanel->companyIndex() != before)
        m_addPanel->companyPickedInFinder();
}

void MainWindow::notify(const NewsNotice& notice) {
    if (!m_notifier) {
        m_notifier = new DesktopNotifier(this);
        connect(m_notifier, &DesktopNotifier::activated, this, &MainWindow::noticeClicked);
    }
    m_notifier->notify(notice.key, notice.summary, notice.body);
}

OverviewWindow* MainWindow::overview() const {
    return m_overview;
}

void MainWindow::noticeClicked(const QString& key) {
    if (key == NewsNotice::groupedKey()) {
        openOverview();
        m_overview->showOnly(m_watch->groupedNews());
        return;
    }
    bringToFront();
    const ParcelKey parcel = ParcelKey::fromText(key);
    if (const int i = m_keeper.indexOf(parcel.number, parcel.company); i >= 0)
        showRecord(m_keeper.records().at(i));
    if (m_overview)
        m_overview->selectParcel(parcel);
}

void MainWindow::followLaterStart(const QString& command) {
    bringToFront();
    if (command == u"overview")
        openOverview();
}

void MainWindow::openOverview() {
    if (!m_overview)
        m_overview = new OverviewWindow(*this, this);
    m_overview->show();
    m_overview->raise();
    m_overview->activateWindow();
}

void MainWindow::showRecord(const QString& record) {
    bringToFront();
    const int i = int(m_keeper.records().indexOf(record));
    // While a timed or loop query holds the selector, the parcel it follows stays chosen.
    if (i < 0 || !m_commandBar->selectorEnabled())
        return;
    m_commandBar->showChosen(i);
    askAboutChosen();
}

void MainWindow::archiveRecords(const QStringList& records) {
    m_watch->archive(records);
    // The parcel on screen left the book: the first one is chosen, as after a deletion.
    if (!m_keeper.records().contains(m_keeper.chosenRecordText))
        chooseFirst();
    m_watch->bookChanged();
}

void MainWindow::restoreRecords(const QStringList& records) {
    m_watch->restore(records);
    m_watch->bookChanged();
}

void MainWindow::deleteRecords(const QStringList& records, bool archived) {
    if (records.isEmpty())
        return;
    const QString question =
        records.size() == 1
            ? QStringLiteral("确定要删除[") + ParcelRecord::note(records.first()) + QStringLiteral("]此单号码?")
            : QStringLiteral("确定要删除选中的 %1 件快递?").arg(records.size());
    if (!confirmed(m_overview ? static_cast<QWidget*>(m_overview) : this, question))
        return;
    m_watch->remove(records, archived);
    if (!archived && !m_keeper.records().contains(m_keeper.chosenRecordText))
        chooseFirst();
    m_watch->bookChanged();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // While the watch goes on behind the tray icon, closing only hides the window.
    if (m_tray->closeRequested() == CloseAction::HideToTray)
        return event->ignore();
    event->setAccepted(m_menu->farewell());
}

} // namespace zjx
