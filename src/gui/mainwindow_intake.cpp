// The main window's ways of taking parcels in: "开始查询" for a company nobody chose, "批量添加", and
// a number offered from the clipboard.
#include "gui/addparcelpanel.h"
#include "gui/batchaddwindow.h"
#include "gui/mainmenu.h"
#include "gui/mainwindow.h"
#include "gui/statusstrips.h"
#include "guess/onlineguess.h"
#include "intake/parcellist.h"
#include "platform/httpclient.h"
#include "schedule/parcelquery.h"
#include "serviceconfig/serviceconfig.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>

namespace zjx {

void MainWindow::connectIntake() {
    connect(m_addPanel, &AddParcelPanel::listPasted, this, [this](const QString& text) { openBatchAdd(text); });
    connect(m_addPanel, &AddParcelPanel::batchRequested, this, [this] { openBatchAdd(); });
    connect(m_menu, &MainMenu::batchAddRequested, this, [this] { openBatchAdd(); });
}

void MainWindow::startQuery() {
    if (HttpClient::instance().isWaiting())
        return;
    if (const QString missing = m_addPanel->missing(); !missing.isEmpty()) {
        setHint(missing);
        return;
    }
    // The chooser's first entry, shown when the panel opens, is nobody's choice: a parcel must not
    // be saved under it.
    if (m_addPanel->companyChosen())
        askNew();
    else
        recogniseThenAsk();
}

void MainWindow::askNew(const QString& recognised) {
    // A failed query keeps the boxes as they are, to be corrected and asked again.
    if (!m_query->askNew(m_addPanel->number(), m_addPanel->company(), m_addPanel->note())) {
        // Why this number failed, said while it is in the box.
        m_strips->bindHintToNumber();
        return;
    }
    if (!recognised.isEmpty())
        m_query->addDoneNote(recognised);
    if (m_addPanel->closesAfterAdding())
        m_addPanel->hide();
    else
        m_addPanel->clearEntries(); // ready for the next parcel
}

void MainWindow::recogniseThenAsk() {
    const QString number = m_addPanel->number();
    const quint64 ask = ++m_recognition;
    m_addPanel->setQueryEnabled(false);
    setHint(QStringLiteral("正在识别快递公司..."));
    HttpClient::instance().getResponsive(
        QUrl(OnlineGuess::url(m_link.settings().trackingHost, number)), this,
        [this, ask, number](const HttpResult& result) {
            if (ask != m_recognition)
                return;
            m_addPanel->setQueryEnabled(true);
            // Another number typed meanwhile is asked about when the user asks again.
            if (m_addPanel->number() != number)
                return setHint(QString());
            if (m_addPanel->companyChosen()) // picked by hand while the service was asked
                return askNew();
            const QStringList codes = result.ok() ? OnlineGuess::codesOf(result.status, result.bytes) : QStringList();
            if (!m_addPanel->takeRecognised(number, codes)) {
                setHint(QStringLiteral("请选择快递公司"));
                m_addPanel->focusCompany();
                return;
            }
            const QByteArray backend = result.header("X-Zjx-Backend");
            const QString how = QStringLiteral("已按") +
                                (backend.isEmpty() ? QStringLiteral("查询服务") : backendCaption(QString::fromLatin1(backend))) +
                                QStringLiteral("识别为") + m_addPanel->company();
            setHint(how);
            askNew(how);
        });
}

void MainWindow::openBatchAdd(const QString& listText) {
    if (!m_batchAdd) {
        m_batchAdd = new BatchAddWindow(m_keeper, [this] { return m_link.settings().trackingHost; }, this);
        m_batchAdd->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_batchAdd, &BatchAddWindow::hint, this, &MainWindow::setHint);
    }
    if (!listText.isEmpty())
        m_batchAdd->setListText(listText);
    m_batchAdd->show();
    m_batchAdd->raise();
    m_batchAdd->activateWindow();
}

BatchAddWindow* MainWindow::batchAddWindow() const {
    return m_batchAdd;
}

void MainWindow::changeEvent(QEvent* event) {
    FramedWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        offerClipboard();
}

void MainWindow::offerClipboard() {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    const QString text = clipboard ? clipboard->text() : QString();
    // Once per clipboard content: coming back to the window with the same text says nothing.
    if (text == std::exchange(m_clipboardSeen, text) || text.size() > 200000)
        return;
    const ReadParcels read = readPastedList(text);
    // Only a clipboard that holds parcels and nothing else: one line is the number alone.
    if (read.rows.isEmpty() || read.withoutNumber > 0 || (read.rows.size() == 1 && trackingNumberIn(text).isEmpty()))
        return;
    const QSet<QString> listed = m_keeper.numbers();
    QStringList fresh;
    for (const IntakeRow& row : read.rows)
        if (!listed.contains(row.number) && !fresh.contains(row.number))
            fresh << row.number;
    if (fresh.size() == 1 && read.rows.size() == 1)
        setHint(QStringLiteral("剪贴板中有单号 ") + fresh.first() + QStringLiteral(",按 F8 添加"));
    else if (!fresh.isEmpty())
        setHint(QStringLiteral("剪贴板中有%1个单号,按 F8 批量添加").arg(fresh.size()));
}

} // namespace zjx
