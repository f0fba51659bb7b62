#include "gui/mainwindow.h"

#include "book/parcelrecord.h"
#include "core/parser.h"
#include "core/textcodec.h"
#include "core/trackingrequest.h"
#include "gui/platform/messagebox.h"
#include "platform/httpclient.h"
#include "watch/news.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <utility>

namespace zjx {

bool MainWindow::queryInFlight() const {
    return HttpClient::instance().isWaiting() || query.inFlight();
}

bool MainWindow::beginQuery() {
    // A timer tick that falls into the wait of a request must not send a second one.
    if (HttpClient::instance().isWaiting())
        return false;
    // A parse still pending belongs to an answer this query replaces; left armed it would cut the
    // new answer with the old row count.
    Timer1->stop();
    query.begin();
    m_doneHint.clear();
    estimateLabel->clear(); // the parcel asked now has its own, if any
    return true;
}

void MainWindow::kdgs(const QString& number, const QString& shownCompany) {
    setHint(shownCompany + QStringLiteral("快递查询中..."));
    m_askedNumber = number;
    m_askedCompany = shownCompany;
    m_askedAutomatically = m_requeryRunning;
    const QUrl url(TrackingRequest::url(networkSettings().trackingHost, companyCode, number));
    query.requestStarted();
    const HttpResult result = HttpClient::instance().getBlocking(url, codec::gbkServerBody);
    readServiceHeaders(result);
    if (result.ok() && result.status < 400)
        query.answer(result.body);
    else if (const QString reason = serviceFaultHint(result); result.ok() && !reason.isEmpty())
        query.fail(reason);
    else if (result.ok())
        // An error page is no answer about the parcel: screened, it would pass as a good one and
        // record the parcel with an empty progress list.
        query.fail(QStringLiteral("服务器返回错误(HTTP %1),请稍后重试!").arg(result.status));
    else
        query.fail(result.errorText.isEmpty() ? HttpClient::failureText(HttpResult::Failure::Other) : result.errorText);
}

bool MainWindow::applyScreening(bool fromAddPanel) {
    // No answer because the transfer failed: end like an empty answer, but say why.
    if (!query.transferError.isEmpty()) {
        setHint(query.transferError);
        Command1->setEnabled(true);
        return false;
    }
    const Screening verdict = screenAnswer(answerText);
    switch (verdict) {
    case Screening::Good:
        return true;
    case Screening::Empty:
        break;
    case Screening::NotFound:
        if (MessageBox::question(this, QStringLiteral("您好,您当前输入的单号不存在有效信息,是否先进行保存?")) !=
            MessageBox::Answer::Yes)
            break;
        // A re-query asks about a parcel of the book: it is listed already.
        if (!fromAddPanel) {
            setHint(QStringLiteral("该单号已在快递列表中,无需保存"));
            break;
        }
        // Only what reached the file is confirmed; after a failed write the book in memory, which
        // holds the parcel, must not be replaced by the file's older contents.
        {
            const Recorded recorded = xr();
            if (recorded == Recorded::Saved)
                reloadBook();
            chooseListed(addPanelNumber(), Combo1->currentText());
            clearProgressList(); // the parcel on screen is the new one, which has no events yet
            if (recorded == Recorded::Saved)
                MessageBox::information(this, QStringLiteral("单号已成功保存"));
        }
        break;
    case Screening::FormatError:
    case Screening::Expired:
    case Screening::Unsupported:
    case Screening::EnterNumber:
        setHint(screeningHint(verdict));
        break;
    }
    Command1->setEnabled(true);
    return false;
}

void MainWindow::cx() {
    if (!beginQuery())
        return;
    Command1->setEnabled(false);
    // Another parcel chosen: its list starts empty. The same parcel asked again keeps its list
    // until a good answer replaces it.
    if (m_listedParcel != ParcelRecord::build(queryNumber, companyName, {}))
        clearProgressList();
    kdgs(queryNumber, companyName);
    if (!applyScreening(false)) {
        query.finish();
        return;
    }
    // A re-query of a listed parcel never adds a record.
    hx2();
}

void MainWindow::hx2() {
    // The list gives way only to a good answer: a failed query changes nothing but the hint line.
    clearProgressList();
    m_listedParcel = ParcelRecord::build(m_askedNumber, m_askedCompany, {});
    const int found = TrackingParser::countRows(answerText);
    rowCount = qint16(std::min(int(rowCount) + found, TrackingParser::maxRows));
    if (found > 0) {
        query.parseDue();
        Timer1->start();
    } else {
        Command1->setEnabled(true);
        query.finish();
    }
}

void MainWindow::Timer1_Timer() {
    const QList<ProgressEntry> entries = TrackingParser::parse(answerText, rowCount);
    rowCount = 0;
    // Every row goes in at the top, so the list reads latest first: one insertion of the whole
    // block gives the same order as one insertion per row.
    QList<QTreeWidgetItem*> items;
    items.reserve(entries.size());
    for (const ProgressEntry& entry : entries) {
        auto* item = new QTreeWidgetItem;
        item->setText(ColumnXh, entry.number);
        item->setText(ColumnSj, entry.time);
        item->setText(ColumnWl, entry.progress);
        items.append(item);
    }
    ListView1->insertTopLevelItems(0, items);
    Timer1->stop();
    query.markParsed();

    QTreeWidgetItem* latest = ListView1->topLevelItem(0);
    if (latest) {
        const QBrush red(QColor(255, 0, 0));
        latest->setForeground(ColumnSj, red);
        latest->setForeground(ColumnWl, red);
    }
    csh();
    lastProgressCount = progressCount;
    progressCount = qint16(std::min(ListView1->topLevelItemCount(), TrackingParser::maxRows));
    setHint(m_doneHint.isEmpty() ? QStringLiteral("查询完毕...") : std::exchange(m_doneHint, QString()));
    Command1->setEnabled(true);
    if (latest)
        // The provider's own state when the service sent it ("待取件", "已退回" ...), else the text rule.
        Label12[2]->setText(answerState(m_answerState, latest->text(ColumnWl)));
    showEstimate();
    gxtj();
    query.finish();
}

void MainWindow::clearProgressList() {
    ListView1->clear();
    m_listedParcel.clear();
}

void MainWindow::csh() {
    query.reset();
}

void MainWindow::Command1_Click() {
    if (HttpClient::instance().isWaiting())
        return;
    // A line break pasted with the number or the note is not part of it.
    const QString number = addPanelNumber();
    if (number.isEmpty()) {
        Text3->setFocus();
        setHint(QStringLiteral("请输入快递单号!"));
        return;
    }
    if (number.contains(u'|')) {
        setHint(QStringLiteral("单号不正确,请您检查!"));
        return;
    }
    const QString company = Combo1->currentText();
    if (company.isEmpty()) {
        Combo1->setFocus();
        setHint(QStringLiteral("请选择快递公司!"));
        return;
    }
    if (addPanelNote().isEmpty()) {
        setHint(QStringLiteral("请输入快递备注信息,例如：爸爸衣服"));
        return;
    }
    beginQuery();
    Command1->setEnabled(false);
    kdgs(number, company);
    if (!applyScreening(true)) {
        query.finish();
        return;
    }
    rowCount = 0;
    // The parse ends with its own hint: one about a parcel listed already must outlast it.
    if (xr() == Recorded::AlreadyListed)
        m_doneHint = QStringLiteral("查询完毕...该单号已在快递列表中,未重复保存");
    // The events shown are this parcel's: "操作" and "删除" must act on it, not on the one chosen before.
    chooseListed(number, company);
    hx2();
    if (Check1->isChecked())
        Picture3->hide();
}

void MainWindow::Command3_Click() {
    Text3->clearEditText();
    Text2->clear();
    // The company handler runs even when the first company was selected already.
    if (Combo1->currentIndex() == 0)
        Combo1_Click();
    else
        Combo1->setCurrentIndex(0);
    showOnlyPanel(Picture3);
    // Ready for typing the number at once.
    Text3->setFocus();
}

} // namespace zjx
