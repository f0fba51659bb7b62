#include "gui/overviewwindow.h"

#include "book/parcelrecord.h"
#include "gui/backgroundoptions.h"
#include "gui/mainwindow.h"
#include "gui/platform/messagebox.h"
#include "serviceconfig/serviceconfig.h"
#include "schedule/watchkeeper.h"
#include "watch/bookwatch.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace zjx {
namespace {

// Rows with news the user has not opened yet are bold; every cell is plain text.
class NewsDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(OverviewModel::UnseenRole).toBool())
            option->font.setBold(true);
    }
};

// Tab goes through the controls as they are read, row by row, left to right.
void tabInReadingOrder(QLayout* layout, QWidget*& previous) {
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        if (QLayout* inner = item->layout()) {
            tabInReadingOrder(inner, previous);
        } else if (QWidget* widget = item->widget(); widget && (widget->focusPolicy() & Qt::TabFocus)) {
            if (previous)
                QWidget::setTabOrder(previous, widget);
            previous = widget;
        }
    }
}

template <typename T> T* named(T* widget, const QString& name) {
    widget->setObjectName(name);
    widget->setAccessibleName(name);
    return widget;
}

} // namespace

OverviewWindow::OverviewWindow(MainWindow& main, QWidget* parent)
    : QWidget(parent, Qt::Window), m_main(main), m_model(main.watchKeeper().parcelStates()) {
    setObjectName(QStringLiteral("OverviewWindow"));
    setWindowTitle(QStringLiteral("全部快递"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    search = named(new QLineEdit(this), QStringLiteral("筛选快递"));
    search->setPlaceholderText(QStringLiteral("按备注、单号或快递公司筛选"));
    search->setClearButtonEnabled(true);
    archivedFilter = named(new QCheckBox(QStringLiteral("已归档"), this), QStringLiteral("已归档"));

    m_filter.setSourceModel(&m_model);
    table = named(new QTableView(this), QStringLiteral("全部快递列表"));
    table->setModel(&m_filter);
    table->setItemDelegate(new NewsDelegate(table));
    table->setSortingEnabled(true);
    table->sortByColumn(OverviewModel::Note, Qt::AscendingOrder);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    table->setWordWrap(false);
    // Tab leaves the list for the controls under it; the arrows move in it.
    table->setTabKeyNavigation(false);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 8);
    table->horizontalHeader()->setStretchLastSection(false);
    table->horizontalHeader()->setSectionResizeMode(OverviewModel::Latest, QHeaderView::Interactive);
    // A number of 20 characters (USPS, S10 with spaces cut) is shown whole; the state with its pickup code.
    const int numberWidth = table->fontMetrics().horizontalAdvance(QString(20, u'W')) + 16;
    const int widths[OverviewModel::ColumnCount] = {110, 90, numberWidth, 140, 320, 140, 150};
    for (int c = 0; c < OverviewModel::ColumnCount; ++c)
        table->setColumnWidth(c, widths[c]);
    table->installEventFilter(this);
    search->installEventFilter(this);

    watchSwitch = named(new QCheckBox(QStringLiteral("自动跟踪全部快递"), this), QStringLiteral("自动跟踪全部快递"));
    watchMinutes = named(new QSpinBox(this), QStringLiteral("跟踪间隔"));
    watchMinutes->setSuffix(QStringLiteral(" 分钟"));
    watchMinutes->setMaximum(24 * 60);
    chime = named(new QCheckBox(QStringLiteral("有新进展时播放提示音"), this), QStringLiteral("有新进展时播放提示音"));
    askButton = named(new QPushButton(QStringLiteral("立即查询"), this), QStringLiteral("立即查询"));
    archiveButton = named(new QPushButton(QStringLiteral("归档"), this), QStringLiteral("归档"));
    restoreButton = named(new QPushButton(QStringLiteral("恢复"), this), QStringLiteral("恢复"));

    dailyLimit = named(new QSpinBox(this), QStringLiteral("每日上限"));
    dailyLimit->setRange(1, 1000000);
    dailyLimit->setSuffix(QStringLiteral(" 次"));
    dailyLimit->setToolTip(QStringLiteral("收费的查询服务每天最多查询的次数,达到后当天停止自动跟踪"));
    quietFrom = named(new QTimeEdit(this), QStringLiteral("夜间不查询开始"));
    quietTo = named(new QTimeEdit(this), QStringLiteral("夜间不查询结束"));
    for (QTimeEdit* edit : {quietFrom, quietTo})
        edit->setDisplayFormat(QStringLiteral("HH:mm"));
    costLabel = new QLabel(this);
    costLabel->setObjectName(QStringLiteral("watch_cost"));
    costLabel->setTextFormat(Qt::PlainText);
    costLabel->setAccessibleDescription(QStringLiteral("自动跟踪的费用"));
    stateFilter = named(new QComboBox(this), QStringLiteral("状态"));
    stateFilter->addItem(QStringLiteral("全部状态"), QString());
    for (const QString& state : {inTransitState, outForDeliveryState, pickupState, deliveredState, returnedState,
                                 exceptionState, notAskedState, troubleFailed, troubleNoRecord, troubleExpired})
        stateFilter->addItem(state, state);
    showAllButton = named(new QPushButton(QStringLiteral("显示全部"), this), QStringLiteral("显示全部"));
    showAllButton->hide();

    auto* top = new QHBoxLayout;
    top->addWidget(search, 1);
    top->addWidget(stateFilter);
    top->addWidget(archivedFilter);
    top->addWidget(showAllButton);
    auto* watchRow = new QHBoxLayout;
    watchRow->addWidget(watchSwitch);
    auto* every = new QLabel(QStringLiteral("间隔"), this);
    every->setBuddy(watchMinutes);
    watchRow->addWidget(every);
    watchRow->addWidget(watchMinutes);
    intervalNote = new QLabel(this);
    intervalNote->setObjectName(QStringLiteral("interval_note"));
    intervalNote->setTextFormat(Qt::PlainText);
    watchRow->addWidget(intervalNote);
    auto* limitCaption = new QLabel(QStringLiteral("每日上限"), this);
    limitCaption->setBuddy(dailyLimit);
    watchRow->addWidget(limitCaption);
    watchRow->addWidget(dailyLimit);
    auto* quietCaption = new QLabel(QStringLiteral("夜间不查询"), this);
    quietCaption->setBuddy(quietFrom);
    watchRow->addWidget(quietCaption);
    watchRow->addWidget(quietFrom);
    watchRow->addWidget(new QLabel(QStringLiteral("至"), this));
    watchRow->addWidget(quietTo);
    watchRow->addWidget(chime);
    watchRow->addStretch(1);
    // The acts on the selected rows share the cost line's row: one row of everything would be
    // wider than a 1024-pixel screen.
    auto* actRow = new QHBoxLayout;
    actRow->addWidget(costLabel, 1);
    actRow->addWidget(askButton);
    actRow->addWidget(archiveButton);
    actRow->addWidget(restoreButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table, 1);
    layout->addLayout(watchRow);
    layout->addLayout(actRow);
    background = new BackgroundOptions(this);
    layout->addWidget(background);

    BookWatch& watch = m_main.watchKeeper().bookWatch();
    watchMinutes->setMinimum(watch.minimumMinutes());
    watchMinutes->setValue(watch.minutes());
    watchSwitch->setChecked(watch.enabled());
    chime->setChecked(m_main.watchKeeper().chime());
    connect(watchSwitch, &QCheckBox::toggled, this, [this](bool on) { m_main.watchKeeper().setEnabled(on); });
    connect(&m_main.watchKeeper(), &WatchKeeper::enabledChanged, watchSwitch, &QCheckBox::setChecked); // the tray's switch
    connect(watchMinutes, &QSpinBox::valueChanged, this, [this](int minutes) {
        m_main.watchKeeper().setMinutes(minutes);
        showIntervalNote();
    });
    connect(chime, &QCheckBox::toggled, this, [this](bool on) { m_main.watchKeeper().setChime(on); });
    connect(&watch, &BookWatch::minimumChanged, this, [this](int minutes) {
        // The box shows the interval the watch keeps; the user's choice stays chosen and comes
        // back when the provider's cache is shorter again.
        const QSignalBlocker quiet(watchMinutes);
        watchMinutes->setMinimum(minutes);
        watchMinutes->setValue(std::max(m_main.watchKeeper().bookWatch().minutes(), minutes));
        showIntervalNote();
    });
    showIntervalNote();
    dailyLimit->setValue(watch.dailyLimit());
    quietFrom->setTime(m_main.watchKeeper().quietFrom());
    quietTo->setTime(m_main.watchKeeper().quietTo());
    connect(dailyLimit, &QSpinBox::valueChanged, this, [this](int limit) { m_main.watchKeeper().setDailyLimit(limit); });
    for (QTimeEdit* edit : {quietFrom, quietTo})
        connect(edit, &QTimeEdit::timeChanged, this,
                [this] { m_main.watchKeeper().setQuietHours(quietFrom->time(), quietTo->time()); });
    connect(&watch, &BookWatch::costChanged, this, &OverviewWindow::updateCost);
    connect(&watch, &BookWatch::statusChanged, this, &OverviewWindow::updateCost);
    connect(&m_main.watchKeeper().parcelStates(), &ParcelStates::reset, this, &OverviewWindow::updateCost);
    connect(stateFilter, &QComboBox::currentIndexChanged, this,
            [this] { m_filter.setState(stateFilter->currentData().toString()); });
    connect(showAllButton, &QPushButton::clicked, this, [this] { showOnly({}); });

    connect(search, &QLineEdit::textChanged, &m_filter, &OverviewFilter::setSearch);
    connect(archivedFilter, &QCheckBox::toggled, this, [this](bool on) {
        m_filter.setArchived(on);
        updateButtons();
    });
    connect(table, &QTableView::doubleClicked, this, [this] { openSelected(); });
    connect(table, &QTableView::customContextMenuRequested, this, &OverviewWindow::showContextMenu);
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &OverviewWindow::updateButtons);
    connect(askButton, &QPushButton::clicked, this, &OverviewWindow::askSelected);
    connect(archiveButton, &QPushButton::clicked, this, &OverviewWindow::archiveSelected);
    connect(restoreButton, &QPushButton::clicked, this, &OverviewWindow::restoreSelected);

    QWidget* previous = nullptr;
    tabInReadingOrder(layout, previous);

    refresh();
    restoreLayout();
    updateButtons();
    updateCost();
}

void OverviewWindow::updateCost() {
    const BookWatch& watch = m_main.watchKeeper().bookWatch();
    const QString backend = m_main.watchKeeper().parcelStates().ledger().backend;
    QString text;
    if (watch.stoppedForToday()) {
        text = QStringLiteral("今天已查询 %1 次,达到每日上限:自动跟踪暂停,明天继续").arg(watch.spentToday());
    } else {
        text = costLine(watch.cost(), backend, backendCaption(backend));
        if (!watch.enabled())
            text = QStringLiteral("自动跟踪未开启。开启后") + text;
        // When the limit cannot serve every parcel at its interval: how often each kind is asked.
        if (const QString shares = watch.shareLine(); !shares.isEmpty())
            text += QStringLiteral("。") + shares;
    }
    if (const QDateTime until = watch.pausedUntil(); until.isValid())
        text = QStringLiteral("夜间暂停,%1 继续。").arg(until.toString(QStringLiteral("HH:mm"))) + text;
    costLabel->setText(text);
    costLabel->setAccessibleName(text);
}

void OverviewWindow::showOnly(const QList<ParcelKey>& keys) {
    if (!keys.isEmpty()) {
        // The other filters would hide some of them and linger after "显示全部".
        search->clear();
        stateFilter->setCurrentIndex(0);
        archivedFilter->setChecked(false);
    }
    m_filter.setOnly(keys);
    showAllButton->setVisible(!keys.isEmpty());
    if (keys.isEmpty())
        return;
    table->clearSelection();
    for (int r = 0; r < m_filter.rowCount(); ++r)
        table->selectionModel()->select(m_filter.index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void OverviewWindow::selectParcel(const ParcelKey& key) {
    for (int pass = 0; pass < 2; ++pass) {
        for (int r = 0; r < m_filter.rowCount(); ++r)
            if (m_model.row(m_filter.mapToSource(m_filter.index(r, 0)).row()).key == key) {
                table->selectRow(r);
                table->scrollTo(m_filter.index(r, 0));
                return;
            }
        // Hidden by a search or a filter: everything is shown again to find it.
        showOnly({key});
        showOnly({});
    }
}

OverviewWindow::~OverviewWindow() {
    // The program may end with the overview open: its layout is kept then too.
    saveLayout();
}

void OverviewWindow::refresh() {
    m_model.setRecords(m_main.bookKeeper().records(), m_main.watchKeeper().archivedRecords());
    updateButtons();
}

QStringList OverviewWindow::selectedRecords() const {
    QStringList records;
    for (const QModelIndex& index : table->selectionModel()->selectedRows())
        records << m_model.row(m_filter.mapToSource(index).row()).record;
    return records;
}

void OverviewWindow::updateButtons() {
    const bool any = table->selectionModel() && table->selectionModel()->hasSelection();
    const bool archived = m_filter.archived();
    askButton->setEnabled(any && !archived);
    archiveButton->setEnabled(any && !archived);
    restoreButton->setEnabled(any && archived);
}

void OverviewWindow::openSelected() {
    const QStringList records = selectedRecords();
    if (records.isEmpty() || m_filter.archived())
        return;
    m_main.showRecord(records.first());
}

void OverviewWindow::askSelected() {
    if (m_filter.archived())
        return;
    const QStringList records = selectedRecords();
    QList<ParcelKey> parcels;
    for (const QString& record : records) {
        const ParcelFields f = ParcelRecord::split(record);
        parcels.append({f.number, f.company});
    }
    // More than the day has left: the user decides, knowing what it costs.
    const BookWatch& watch = m_main.watchKeeper().bookWatch();
    const int left = watch.leftToday();
    const int charged = watch.chargedAsks(parcels);
    if (left >= 0 && charged > left &&
        MessageBox::question(this, QStringLiteral("立即查询这 %1 件快递将用去 %2 次查询,今天的每日上限只剩 %3 次。仍要查询吗?")
                                       .arg(records.size())
                                       .arg(charged)
                                       .arg(left)) != MessageBox::Answer::Yes)
        return;
    m_main.watchKeeper().ask(records);
}

void OverviewWindow::archiveSelected() {
    if (!m_filter.archived())
        m_main.archiveRecords(selectedRecords());
}

void OverviewWindow::restoreSelected() {
    if (m_filter.archived())
        m_main.restoreRecords(selectedRecords());
}

void OverviewWindow::copySelectedNumbers() {
    QStringList numbers;
    for (const QModelIndex& index : table->selectionModel()->selectedRows())
        numbers << m_model.row(m_filter.mapToSource(index).row()).key.number;
    if (!numbers.isEmpty())
        QGuiApplication::clipboard()->setText(numbers.join(u'\n'));
}

void OverviewWindow::copyPickupCode() {
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    const QString code = rows.first().data(OverviewModel::PickupCodeRole).toString();
    if (!code.isEmpty())
        QGuiApplication::clipboard()->setText(code);
}

void OverviewWindow::deleteSelected() {
    const QStringList records = selectedRecords();
    if (!records.isEmpty())
        m_main.deleteRecords(records, m_filter.archived());
}

void OverviewWindow::showContextMenu(const QPoint& position) {
    if (!table->indexAt(position).isValid())
        return;
    const bool archived = m_filter.archived();
    QMenu menu(this);
    QAction* ask = menu.addAction(QStringLiteral("立即查询"), this, &OverviewWindow::askSelected);
    ask->setEnabled(!archived);
    menu.addAction(QStringLiteral("复制单号"), this, &OverviewWindow::copySelectedNumbers);
    if (!table->indexAt(position).data(OverviewModel::PickupCodeRole).toString().isEmpty())
        menu.addAction(QStringLiteral("复制取件码"), this, &OverviewWindow::copyPickupCode);
    if (archived)
        menu.addAction(QStringLiteral("恢复"), this, &OverviewWindow::restoreSelected);
    else
        menu.addAction(QStringLiteral("归档"), this, &OverviewWindow::archiveSelected);
    menu.addAction(QStringLiteral("删除"), this, &OverviewWindow::deleteSelected);
    menu.exec(table->viewport()->mapToGlobal(position));
}

void OverviewWindow::showIntervalNote() {
    const BookWatch& watch = m_main.watchKeeper().bookWatch();
    const bool longer = watch.minutes() < watch.minimumMinutes();
    // Short, for a crowded row; the tooltip says the whole of it.
    intervalNote->setText(longer ? QStringLiteral("(服务商缓存 %1 分钟)").arg(watch.minimumMinutes()) : QString());
    intervalNote->setToolTip(
        longer ? QStringLiteral("查询服务把每个单号的结果缓存 %1 分钟,更短的间隔查不到新进展,所以间隔至少 %1 分钟")
                     .arg(watch.minimumMinutes())
               : QString());
    intervalNote->setVisible(longer);
}

QRect OverviewWindow::fitted(const QRect& rect, const QRect& available) {
    const QSize size = rect.size().boundedTo(available.size());
    const int left = std::clamp(rect.left(), available.left(), available.right() + 1 - size.width());
    const int top = std::clamp(rect.top(), available.top(), available.bottom() + 1 - size.height());
    return QRect(QPoint(left, top), size);
}

QRect OverviewWindow::placement(const QRect& mainFrame, QSize wanted, const QRect& available) {
    const QSize size = wanted.boundedTo(available.size());
    const auto within = [&](int x, int y) { return fitted(QRect(QPoint(x, y), size), available); };
    const int top = mainFrame.top();
    if (mainFrame.right() + 1 + size.width() <= available.right() + 1)
        return within(mainFrame.right() + 1, top);
    if (mainFrame.left() - size.width() >= available.left())
        return within(mainFrame.left() - size.width(), top);
    // No room on either side: on the side with more room, covering as little as fits.
    const bool right = available.right() - mainFrame.right() >= mainFrame.left() - available.left();
    return within(right ? available.right() + 1 - size.width() : available.left(), top);
}

bool OverviewWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == search && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && !search->text().isEmpty()) {
            search->clear();
            return true;
        }
        if (key->key() == Qt::Key_Down && m_filter.rowCount() > 0) { // on into the list
            table->setFocus();
            table->selectRow(0);
            return true;
        }
    }
    if (watched == table && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            openSelected();
            return true;
        }
        // Ctrl+Tab leaves the list too, as it leaves any control that takes Tab itself.
        if ((key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) && (key->modifiers() & Qt::ControlModifier)) {
            focusNextPrevChild(key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier));
            return true;
        }
        if (key->key() == Qt::Key_Menu) {
            showContextMenu(table->visualRect(table->currentIndex()).center());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void OverviewWindow::closeEvent(QCloseEvent* event) {
    saveLayout();
    QWidget::closeEvent(event);
}

void OverviewWindow::saveLayout() const {
    QSettings settings(m_main.watchKeeper().settingsPath(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("overview/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("overview/columns"), table->horizontalHeader()->saveState());
}

void OverviewWindow::restoreLayout() {
    const QSettings settings(m_main.watchKeeper().settingsPath(), QSettings::IniFormat);
    // A saved place is kept as far as it fits the screen as it is now.
    const bool restored = restoreGeometry(settings.value(QStringLiteral("overview/geometry")).toByteArray());
    if (const QScreen* screen = m_main.screen())
        setGeometry(restored ? fitted(geometry(), screen->availableGeometry())
                             : placement(m_main.frameGeometry(), QSize(900, 480), screen->availableGeometry()));
    else if (!restored)
        resize(900, 480);
    table->horizontalHeader()->restoreState(settings.value(QStringLiteral("overview/columns")).toByteArray());
}

void OverviewWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The title bar and the borders are known once the window manager has framed the window.
    QTimer::singleShot(0, this, [this] {
        const QScreen* screen = this->screen();
        const QRect frame = frameGeometry();
        if (!screen || screen->availableGeometry().contains(frame))
            return;
        const QRect place = fitted(frame, screen->availableGeometry());
        resize(size() - (frame.size() - place.size()));
        move(place.topLeft());
    });
}

} // namespace zjx
