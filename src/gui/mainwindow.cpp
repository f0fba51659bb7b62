#include "gui/mainwindow.h"
#include "gui/overviewwindow.h"

#include "book/parcelrecord.h"
#include "book/store.h"
#include "core/catalogue.h"
#include "core/textutil.h"
#include "gui/platform/alertplayer.h"
#include "gui/platform/messagebox.h"
#include "gui/platform/siteopener.h"
#include "gui/readabledelegate.h"
#include "platform/gatewaychild.h"
#include "serviceconfig/serviceconfig.h"
#include "watch/savecadence.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <utility>

namespace zjx {
namespace {

const QColor purple(166, 0, 169);
constexpr int windowWidth = 753;
constexpr int windowHeight = 473;
constexpr int f8KeyCode = 119;

QFrame* purpleArea(QWidget* parent, const QRect& geometry) {
    auto* area = new QFrame(parent);
    area->setObjectName(QStringLiteral("purpleArea"));
    area->setGeometry(geometry);
    area->setAutoFillBackground(true);
    QPalette pal = area->palette();
    pal.setColor(QPalette::Window, purple);
    area->setPalette(pal);
    return area;
}

QLabel* whiteLabel(QWidget* parent, const QString& text, const QRect& geometry, const QString& objectName) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(objectName);
    label->setGeometry(geometry);
    MainWindow::setLabelColour(label, Qt::white);
    return label;
}

QPushButton* button(QWidget* parent, const QString& name, const QString& text, const QRect& geometry) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(geometry);
    return b;
}

QComboBox* chooser(QWidget* parent, const QString& name, const QString& accessibleName, const QRect& geometry,
                   bool editable = false) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setAccessibleName(accessibleName);
    c->setGeometry(geometry);
    c->setEditable(editable);
    return c;
}

QLineEdit* lineEdit(QWidget* parent, const QString& name, const QString& accessibleName, const QRect& geometry) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAccessibleName(accessibleName);
    e->setGeometry(geometry);
    return e;
}

QLabel* caption(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(geometry);
    return l;
}

} // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent), m_settings(Settings::fromEnvironment()) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("踪迹匣 V4.0 - Talvo全新版"));
    buildWindow();
    // Labels show hints, names and notes the program did not write itself: never as markup.
    for (QLabel* label : findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    setupChrome();
    connectHandlers();
    connectBook();
    connectQuery();
    connectGuess();
    book.setPath(Store::locate(ProgramFolder::path()));
    Form_Load();
    setupWatch();
    Timer5->start();
    Timer3->start();
}

MainWindow::~MainWindow() {
    // The overview keeps its size and columns through this window's settings: it goes first.
    delete overview();
    // A change of the last moments still reaches the state file.
    if (m_stateSaver && m_stateSaver->pending())
        saveStates();
    qApp->removeEventFilter(this);
    ListView1->viewport()->removeEventFilter(this);
    teardownChrome();
}

void MainWindow::setHint(const QString& text) {
    Label11[2]->setText(readableText(withBookState(text)));
}

void MainWindow::useGateway(GatewayChild* gateway) {
    m_gateway = gateway;
    connect(gateway, &GatewayChild::ready, this, &MainWindow::gatewayReady);
    connect(gateway, &GatewayChild::failed, this, &MainWindow::gatewayFailed);
    connect(gateway, &GatewayChild::restarting, this, [this](const QString& reason) {
        m_gatewayTrouble = QStringLiteral("本地查询服务已停止:") + reason + QStringLiteral(",正在重新启动");
        setHint(m_gatewayTrouble);
    });
    // A child that could not even be started has said so before the window was there.
    if (gateway->state() == GatewayChild::State::Ready)
        gatewayReady(gateway->address());
    else if (gateway->state() == GatewayChild::State::Failed)
        gatewayFailed(gateway->failure());
}

const Settings& MainWindow::networkSettings() {
    // A child not started yet is started now; the outcome goes to gatewayReady or gatewayFailed.
    if (m_gateway &&
        (m_gateway->state() == GatewayChild::State::NotStarted || m_gateway->state() == GatewayChild::State::Starting))
        m_gateway->waitForAddress(gatewayWaitMs);
    return m_settings;
}

void MainWindow::gatewayReady(const QString& address) {
    m_gatewayWasReady = true;
    m_settings = Settings::fromEnvironment(address);
    if (!std::exchange(m_gatewayTrouble, {}).isEmpty()) {
        Label11[2]->setToolTip({});
        setHint(QStringLiteral("本地查询服务已重新启动"));
        showDataSource(configuredBackend());
    }
}

void MainWindow::gatewayFailed(const QString& reason) {
    const QString opening =
        m_gatewayWasReady ? QStringLiteral("本地查询服务已停止:") : QStringLiteral("本地查询服务未能启动:");
    // The most common cause has a way out the user can take, said in a line that fits; anything
    // else keeps the service's words, the whole of them in the tooltip.
    m_gatewayTrouble = configTooOpen(ServiceConfigFile::defaultPath())
                           ? QStringLiteral("查询服务设置文件权限过宽,请打开查询服务设置并保存")
                           : opening + reason;
    setHint(m_gatewayTrouble);
    showServiceStopped();
    // The hint line cuts a long reason off: the whole of what the service said rests on it.
    // Escaped, because a tooltip would otherwise guess rich text from the service's words.
    const QString detail = m_gateway && !m_gateway->failureDetail().isEmpty() ? m_gateway->failureDetail() : reason;
    Label11[2]->setToolTip(QStringLiteral("<p style=\"white-space:pre-wrap\">") +
                           QString(opening + detail).toHtmlEscaped() + QStringLiteral("</p>"));
}

void MainWindow::openSite(QString Settings::*site) {
    const QString address = networkSettings().*site;
    SiteOpener::open(address);
    const QUrl url(address);
    if (m_gateway && m_gateway->state() == GatewayChild::State::Ready &&
        QUrl(QStringLiteral("http://") + m_gateway->address()).authority() == url.authority())
        m_gateway->expectVisit(url.path().isEmpty() ? QStringLiteral("/") : url.path());
}

void MainWindow::setLabelColour(QLabel* label, const QColor& colour) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
}

QColor MainWindow::labelColour(const QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}

void MainWindow::appendKeepingSelection(QComboBox* box, const QStringList& texts) {
    const int before = box->currentIndex();
    const QSignalBlocker block(box);
    box->addItems(texts);
    box->setCurrentIndex(before);
}

void MainWindow::buildWindow() {
    setFixedSize(windowWidth, windowHeight);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    // Purple area beside the banner: the menu and the status strip.
    QFrame* statusArea = purpleArea(this, QRect(464, 25, 289, 57));
    Combo5 = chooser(statusArea, QStringLiteral("Combo5"), QStringLiteral("菜单"), QRect(8, 15, 130, 26));
    Label12[0] = whiteLabel(statusArea, QStringLiteral("快件状态"), QRect(150, 8, 64, 20), QStringLiteral("Label12_0"));
    Label12[1] = whiteLabel(statusArea, QStringLiteral("更新状态"), QRect(218, 8, 64, 20), QStringLiteral("Label12_1"));
    Label12[2] = whiteLabel(statusArea, QStringLiteral("未查询"), QRect(150, 30, 64, 20), QStringLiteral("Label12_2"));
    Label12[3] = whiteLabel(statusArea, QStringLiteral("未查询"), QRect(218, 30, 64, 20), QStringLiteral("Label12_3"));
    for (QLabel* l : Label12)
        l->setAlignment(Qt::AlignCenter);
    // The verdict turns red on purple: bold keeps it readable.
    QFont verdictFont = Label12[3]->font();
    verdictFont.setBold(true);
    Label12[3]->setFont(verdictFont);
    buildDataSourceCaption(statusArea);
    // Under the state, on the white beside the banner: "预计送达 12月9日" when the service gives one.
    estimateLabel = new QLabel(this);
    estimateLabel->setObjectName(QStringLiteral("estimateLabel"));
    estimateLabel->setTextFormat(Qt::PlainText);
    estimateLabel->setGeometry(QRect(560, 84, 190, 18));
    estimateLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    estimateLabel->setAccessibleDescription(QStringLiteral("预计送达"));

    // Command row.
    Text1 = chooser(this, QStringLiteral("Text1"), QStringLiteral("已保存快递"), QRect(16, 108, 281, 26));
    Command14 = button(this, QStringLiteral("Command14"), QStringLiteral("操作"), QRect(312, 104, 73, 33));
    Command7 = button(this, QStringLiteral("Command7"), QStringLiteral("清空"), QRect(400, 104, 73, 33));
    Command3 = button(this, QStringLiteral("Command3"), QStringLiteral("添加"), QRect(488, 104, 73, 33));
    Command6 = button(this, QStringLiteral("Command6"), QStringLiteral("导出"), QRect(576, 104, 73, 33));
    Command4 = button(this, QStringLiteral("Command4"), QStringLiteral("设置"), QRect(664, 104, 73, 33));

    // Progress list.
    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setAccessibleName(QStringLiteral("物流进度"));
    ListView1->setGeometry(16, 152, 721, 265);
    ListView1->setColumnCount(3);
    ListView1->setHeaderLabels(
        {QStringLiteral("Num"), QStringLiteral("时间"), QStringLiteral("物流进度 ( 双击列表可复制单条物流进度 )")});
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setItemDelegate(new ReadableDelegate(ListView1));
    ListView1->setColumnWidth(ColumnXh, 60);
    ListView1->setColumnWidth(ColumnSj, 145);
    ListView1->setColumnWidth(ColumnWl, 495);

    // Hint strip.
    // Inside the drawn frame's side edges (3 pixels) and bottom band (5 pixels).
    QFrame* hintArea = purpleArea(this, QRect(3, 432, windowWidth - 6, windowHeight - 432 - 5));
    const int y = 8;
    Label11[0] = whiteLabel(hintArea, QStringLiteral("查询提示："), QRect(12, y, 72, 20), QStringLiteral("Label11_0"));
    Label11[1] = whiteLabel(hintArea, QString(), QRect(0, 0, 0, 0), QStringLiteral("Label11_1"));
    Label11[1]->hide();
    Label11[2] =
        whiteLabel(hintArea, QStringLiteral("程序检测更新中..."), QRect(84, y, 344, 20), QStringLiteral("Label11_2"));
    Label11[3] = whiteLabel(hintArea, QStringLiteral("版本号"), QRect(432, y, 64, 20), QStringLiteral("Label11_3"));
    Label11[4] = whiteLabel(hintArea, QStringLiteral("青檀坊出品"), QRect(498, y, 78, 20), QStringLiteral("Label11_4"));
    Label11[5] = whiteLabel(hintArea, QStringLiteral("Time"), QRect(580, y, 165, 20), QStringLiteral("Label11_5"));
    Label11[5]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    buildEditPanel();
    buildAddPanel();
    buildSettingsPanel();

    Timer1 = new QTimer(this);
    Timer1->setInterval(100);
    Timer3 = new QTimer(this);
    Timer3->setInterval(1000);
    Timer4 = new QTimer(this);
    Timer4->setInterval(1000);
    Timer5 = new QTimer(this);
    Timer5->setInterval(1000);
    Timer6 = new QTimer(this);
    Timer6->setInterval(60000);
    W1 = new AlertPlayer(this);

    Command1->setEnabled(false);
    Text1->setEnabled(false);
}

QFrame* MainWindow::makePanel(const QString& objectName, const QString& title, QLabel*& closeImage) {
    auto* panel = new QFrame(this);
    panel->setObjectName(objectName);
    panel->setAccessibleName(title);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setAutoFillBackground(true);
    auto* titleLabel = new QLabel(title, panel);
    titleLabel->setObjectName(objectName + QStringLiteral("_title"));
    titleLabel->setGeometry(10, 6, 200, 22);
    QFont f = titleLabel->font();
    f.setBold(true);
    titleLabel->setFont(f);
    closeImage = new QLabel(panel);
    closeImage->setText(QStringLiteral("×"));
    closeImage->setAlignment(Qt::AlignCenter);
    closeImage->setCursor(Qt::PointingHandCursor);
    closeImage->setToolTip(QStringLiteral("关闭"));
    // Reachable with Tab and told apart by a screen reader; Space or Enter clicks it.
    closeImage->setAccessibleName(QStringLiteral("关闭") + title);
    closeImage->setFocusPolicy(Qt::TabFocus);
    closeImage->setStyleSheet(QStringLiteral("QLabel:focus { border: 1px solid palette(highlight); }"));
    panel->hide();
    return panel;
}

void MainWindow::buildAddPanel() {
    Picture3 = makePanel(QStringLiteral("Picture3"), QStringLiteral("添加新快递"), aicAlphaImage5);
    aicAlphaImage5->setObjectName(QStringLiteral("aicAlphaImage5"));
    Picture3->resize(380, 222);
    aicAlphaImage5->setGeometry(380 - 26, 6, 18, 18);
    caption(Picture3, QStringLiteral("快递单号："), QRect(16, 42, 76, 26));
    Text3 = chooser(Picture3, QStringLiteral("Text3"), QStringLiteral("快递单号"), QRect(92, 42, 270, 26), true);
    caption(Picture3, QStringLiteral("快递公司："), QRect(16, 78, 76, 26));
    Combo1 = chooser(Picture3, QStringLiteral("Combo1"), QStringLiteral("快递公司"), QRect(92, 78, 180, 26));
    Command2 = button(Picture3, QStringLiteral("Command2"), QStringLiteral("快捷搜索"), QRect(280, 76, 82, 30));
    caption(Picture3, QStringLiteral("快递备注："), QRect(16, 114, 76, 26));
    Text2 = lineEdit(Picture3, QStringLiteral("Text2"), QStringLiteral("快递备注"), QRect(92, 114, 270, 26));
    Check1 = new QCheckBox(QStringLiteral("是否添加后自动关闭本页,如需继续添加请取消勾选"), Picture3);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setGeometry(16, 148, 350, 22);
    Check1->setChecked(true);
    Command1 = button(Picture3, QStringLiteral("Command1"), QStringLiteral("开始查询"), QRect(16, 178, 346, 32));
}

void MainWindow::buildEditPanel() {
    Picture5 = makePanel(QStringLiteral("Picture5"), QStringLiteral("单号操作"), aicAlphaImage2);
    aicAlphaImage2->setObjectName(QStringLiteral("aicAlphaImage2"));
    Picture5->resize(380, 200);
    aicAlphaImage2->setGeometry(380 - 26, 6, 18, 18);
    caption(Picture5, QStringLiteral("快递单号："), QRect(16, 42, 76, 26));
    Text4 = lineEdit(Picture5, QStringLiteral("Text4"), QStringLiteral("快递单号"), QRect(92, 42, 270, 26));
    caption(Picture5, QStringLiteral("快递公司："), QRect(16, 78, 76, 26));
    Text5 = chooser(Picture5, QStringLiteral("Text5"), QStringLiteral("快递公司"), QRect(92, 78, 180, 26));
    Command15 = button(Picture5, QStringLiteral("Command15"), QStringLiteral("快捷搜索"), QRect(280, 76, 82, 30));
    caption(Picture5, QStringLiteral("快递备注："), QRect(16, 114, 76, 26));
    Text6 = lineEdit(Picture5, QStringLiteral("Text6"), QStringLiteral("快递备注"), QRect(92, 114, 270, 26));
    Command13 = button(Picture5, QStringLiteral("Command13"), QStringLiteral("修改"), QRect(16, 154, 108, 32));
    Command9 = button(Picture5, QStringLiteral("Command9"), QStringLiteral("删除"), QRect(135, 154, 108, 32));
    Command12 = button(Picture5, QStringLiteral("Command12"), QStringLiteral("复制"), QRect(254, 154, 108, 32));
}

void MainWindow::buildSettingsPanel() {
    Picture4 = makePanel(QStringLiteral("Picture4"), QStringLiteral("相关设置"), aicAlphaImage1);
    aicAlphaImage1->setObjectName(QStringLiteral("aicAlphaImage1"));
    Picture4->resize(340, 156);
    aicAlphaImage1->setGeometry(340 - 26, 6, 18, 18);

    const QRect frameRect(12, 36, 316, 108);
    Frame4 = new QGroupBox(QStringLiteral("定时查询功能"), Picture4);
    Frame4->setObjectName(QStringLiteral("Frame4"));
    Frame4->setGeometry(frameRect);
    caption(Frame4, QStringLiteral("请设定时间："), QRect(12, 30, 84, 26));
    Combo2 = chooser(Frame4, QStringLiteral("Combo2"), QStringLiteral("时"), QRect(98, 30, 70, 26));
    caption(Frame4, QStringLiteral("时"), QRect(172, 30, 18, 26));
    Combo3 = chooser(Frame4, QStringLiteral("Combo3"), QStringLiteral("分"), QRect(194, 30, 70, 26));
    caption(Frame4, QStringLiteral("分"), QRect(268, 30, 18, 26));
    Command8 = button(Frame4, QStringLiteral("Command8"), QStringLiteral("开始定时"), QRect(12, 66, 292, 32));
    Command10 = button(Frame4, QStringLiteral("Command10"), QStringLiteral("循环查询"), QRect(226, 0, 78, 22));

    Frame6 = new QGroupBox(QStringLiteral("循环查询功能"), Picture4);
    Frame6->setObjectName(QStringLiteral("Frame6"));
    Frame6->setGeometry(frameRect);
    caption(Frame6, QStringLiteral("每隔"), QRect(12, 30, 32, 26));
    Combo4 = chooser(Frame6, QStringLiteral("Combo4"), QStringLiteral("间隔分钟"), QRect(46, 30, 80, 26));
    caption(Frame6, QStringLiteral("分钟自动进行一次查询"), QRect(132, 30, 170, 26));
    Command5 = button(Frame6, QStringLiteral("Command5"), QStringLiteral("开始循环"), QRect(12, 66, 292, 32));
    Command11 = button(Frame6, QStringLiteral("Command11"), QStringLiteral("定时查询"), QRect(226, 0, 78, 22));
    Frame6->hide();
}

void MainWindow::connectHandlers() {
    connect(Combo1, &QComboBox::currentIndexChanged, this, [this] { Combo1_Click(); });
    connect(Combo5, &QComboBox::activated, this, [this] { Combo5_Click(); });
    connect(Timer5, &QTimer::timeout, this, [this] { Timer5_Timer(); });
    connect(Timer3, &QTimer::timeout, this, [this] { Timer3_Timer(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
    connect(Timer4, &QTimer::timeout, this, [this] { Timer4_Timer(); });
    connect(Timer6, &QTimer::timeout, this, [this] { Timer6_Timer(); });
    // The user picking an entry, also the same one again, re-queries that parcel.
    connect(Text1, &QComboBox::activated, this, [this] { Text1_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
    connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
    connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
    connect(Command7, &QPushButton::clicked, this, [this] { Command7_Click(); });
    connect(Command8, &QPushButton::clicked, this, [this] { Command8_Click(); });
    connect(Command9, &QPushButton::clicked, this, [this] { Command9_Click(); });
    connect(Command10, &QPushButton::clicked, this, [this] { Command10_Click(); });
    connect(Command11, &QPushButton::clicked, this, [this] { Command11_Click(); });
    connect(Command12, &QPushButton::clicked, this, [this] { Command12_Click(); });
    connect(Command13, &QPushButton::clicked, this, [this] { Command13_Click(); });
    connect(Command14, &QPushButton::clicked, this, [this] { Command14_Click(); });
    connect(Command15, &QPushButton::clicked, this, [this] { Command15_Click(); });
    // Every click on the list counts, also on its empty part (that one says there is nothing).
    ListView1->viewport()->installEventFilter(this);
    qApp->installEventFilter(this);
}

void MainWindow::Form_Load() {
    kdlb();
    dq();
    SkinH_AttachEx(ProgramFolder::path() + QStringLiteral("/skinh.she"), QString());
    LockListViewColumns(ListView1);
    // The progress list's entries are never edited in place.
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);

    Combo2->addItem(QStringLiteral("0"));
    for (int h = 1; h <= 23; ++h)
        Combo2->addItem(QString::number(h));
    for (int m = 0; m <= 59; ++m)
        Combo3->addItem(QString::number(m));
    for (int n = 1; n <= 360; ++n)
        Combo4->addItem(QString::number(n));
    Combo2->setCurrentIndex(0);
    Combo3->setCurrentIndex(0);
    Combo4->setCurrentIndex(-1);

    Combo5->addItems({QStringLiteral("网点信息查询"), QStringLiteral("程序在线反馈"), QStringLiteral("访问官方论坛"),
                      QStringLiteral("青檀坊官方网站"), QStringLiteral("访问软件工作室"),
                      QStringLiteral("神器!百宝工具箱"), QStringLiteral("查询服务设置")});
    // Entries after the six are told apart by their text, whichever order they are added in.
    Combo5->addItem(overviewMenuText());
    Combo5->setCurrentIndex(-1);

    Label11[3]->setText(QString::number(versionMajor) + u'.' + QString::number(versionMinor) + u'.' +
                        QString::number(versionRevision));
    Combo1->setCurrentIndex(0);
}

void MainWindow::kdlb() {
    const QStringList names = CourierCatalogue::displayNames();
    // Filling a chooser selects its first entry by itself; both start without a selection.
    const QSignalBlocker block(Combo1);
    Combo1->addItems(names);
    Combo1->setCurrentIndex(-1);
    Text5->addItems(names);
    Text5->setCurrentIndex(-1);
}

void MainWindow::Combo1_Click() {
    const int index = Combo1->currentIndex();
    if (index >= 0 && index < CourierCatalogue::count)
        companyCode = CourierCatalogue::serviceCode(index);
}

void MainWindow::SkinH_AttachEx(const QString& path, const QString& password) {
    Q_UNUSED(password);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    setStyleSheet(QString::fromUtf8(file.readAll()));
}

void MainWindow::centrePanel(QFrame* panel) {
    panel->move(width() / 2 - panel->width() / 2, height() / 2 - panel->height() / 2);
}

void MainWindow::showOnlyPanel(QFrame* panel) {
    for (QFrame* other : {Picture3, Picture4, Picture5})
        if (other != panel)
            other->hide();
    centrePanel(panel);
    panel->show();
    panel->raise();
}

void MainWindow::Form_QueryUnload(qint16& cancel) {
    const QString text = QStringLiteral("感谢您对阿檀、对青檀坊系列的软件的支持!") + u'\r' + u' ' + u'\r' +
                         QStringLiteral("是否退出并到论坛可以下载更多青檀坊系列原创免费软件?");
    switch (MessageBox::questionWithCancel(this, text)) {
    case MessageBox::Answer::Yes:
        openSite(&Settings::forumSiteUrl);
        break;
    case MessageBox::Answer::No:
        break;
    default:
        cancel = 1;
        break;
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    qint16 cancel = 0;
    Form_QueryUnload(cancel);
    if (cancel != 0)
        event->ignore();
    else
        event->accept();
}

void MainWindow::Combo5_Click() {
    switch (Combo5->currentIndex()) {
    case 0:
        openBranchLookup();
        break;
    case 1:
    case 5:
        openSite(&Settings::feedbackSiteUrl);
        break;
    case 2:
        openSite(&Settings::forumSiteUrl);
        break;
    case 3:
        openSite(&Settings::homeSiteUrl);
        break;
    case 4:
        openSite(&Settings::softwareSiteUrl);
        break;
    default:
        // The entries after the six, by their text.
        if (Combo5->currentText() == QStringLiteral("查询服务设置"))
            openServiceSettings();
        else if (Combo5->currentText() == overviewMenuText())
            openOverview();
        break;
    }
}

void MainWindow::Form_KeyDown(int keyCode) {
    if (keyCode != f8KeyCode)
        return;
    const QClipboard* clipboard = QGuiApplication::clipboard();
    // A number copied from a page or a chat often ends with a line break, which is not part of it.
    Text3->setEditText(clipboard ? ParcelRecord::singleLine(clipboard->text()) : QString());
}

bool MainWindow::keyboardCommand(QWidget* focused, int key) {
    if (key == Qt::Key_Escape) {
        // Escape closes the open panel, as its close image would.
        const bool open = Picture3->isVisible() || Picture4->isVisible() || Picture5->isVisible();
        if (Picture3->isVisible())
            aicAlphaImage5_Click();
        if (Picture4->isVisible())
            aicAlphaImage1_Click();
        if (Picture5->isVisible())
            aicAlphaImage2_Click();
        return open;
    }
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    // Enter in the add panel's fields starts the query, as "开始查询" would.
    const bool addField = focused == Text3 || focused == Text3->lineEdit() || focused == Text2 || focused == Combo1;
    if (!addField)
        return false;
    if (Command1->isEnabled())
        Command1_Click();
    return true;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListView1->viewport()) {
        const QEvent::Type type = event->type();
        const bool left = (type == QEvent::MouseButtonDblClick || type == QEvent::MouseButtonRelease) &&
                          static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        if (left && type == QEvent::MouseButtonDblClick) {
            m_releaseEndsDoubleClick = true;
            QTimer::singleShot(0, this, [this] { ListView1_DblClick(); });
        } else if (left) {
            // The release that ends a double click is not a click of its own.
            if (!std::exchange(m_releaseEndsDoubleClick, false))
                QTimer::singleShot(0, this, [this] { ListView1_Click(); });
        }
        return QWidget::eventFilter(watched, event);
    }
    // Key presses reach the window before the focused control, wherever the focus is in it.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        if (widget->window() == this && key->key() == Qt::Key_F8 && !key->isAutoRepeat()) {
            Form_KeyDown(f8KeyCode);
            return true;
        }
        if (widget->window() == this && keyboardCommand(widget, key->key()))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace zjx
