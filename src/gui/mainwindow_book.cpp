#include "gui/mainwindow.h"

#include "book/parcelrecord.h"
#include "gui/class1.h"
#include "gui/platform/messagebox.h"
#include "schedule/schedule.h"

#include <QClipboard>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>

namespace zjx {
namespace {

const QString chooseFirstHint = QStringLiteral("请先选择快递..");
const QString noProgressHint = QStringLiteral("当前没有物流信息");
const QString noClipboardHint = QStringLiteral("剪贴板暂不可用,未能复制..");

// The book's index as parcelIndexText holds it, or -1 when it names no record of the book.
int recordIndex(const QString& indexText, qsizetype recordCount) {
    bool ok = false;
    const int i = indexText.toInt(&ok);
    return ok && i >= 0 && i < recordCount ? i : -1;
}

} // namespace

QTreeWidgetItem* MainWindow::selectedProgressRow() const {
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    QTreeWidgetItem* row = selected.isEmpty() ? nullptr : selected.first();
    return row && !row->text(ColumnXh).isEmpty() ? row : nullptr;
}

bool MainWindow::putOnClipboard(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->clear();
    clipboard->setText(text);
    return true;
}

void MainWindow::Text1_Click() {
    const int i = Text1->currentIndex();
    // Nothing chosen (an empty book): there is no parcel to ask about, and asking again about the
    // parcel chosen before would show a parcel that is no longer listed.
    if (i < 0 || i >= Combo6.size())
        return;
    chosenRecordText = Combo6.at(i);
    const ParcelFields fields = ParcelRecord::split(chosenRecordText);
    queryNumber = fields.number;

    const int company = Combo1->findText(fields.company);
    if (company >= 0) {
        if (Combo1->currentIndex() == company)
            Combo1_Click(); // no change signal for the same entry; the service code must still follow it
        else
            Combo1->setCurrentIndex(company);
    }
    companyName = fields.company;
    parcelNote = fields.note;
    progressCount = 0;
    lastProgressCount = 0;

    cx();

    if (Command3->isEnabled())
        Command3->setFocus();
    parcelIndexText = QString::number(Text1->currentIndex());
}

void MainWindow::chooseListed(const QString& number, const QString& company) {
    // A timed or loop query keeps asking about the parcel it was started on (the selector and
    // "删除" are locked meanwhile).
    if (Command8->text() == schedule::timedArmedCaption || Command5->text() == schedule::loopRunningCaption)
        return;
    for (int i = 0; i < Combo6.size(); ++i) {
        const ParcelFields fields = ParcelRecord::split(Combo6.at(i));
        if (fields.number != number || fields.company != company)
            continue;
        // Chosen as the selector would choose it, without asking the service again.
        const QSignalBlocker block(Text1);
        Text1->setCurrentIndex(i);
        chosenRecordText = Combo6.at(i);
        queryNumber = fields.number;
        companyName = fields.company;
        parcelNote = fields.note;
        parcelIndexText = QString::number(i);
        return;
    }
}

void MainWindow::Command14_Click() {
    if (Text1->currentText().isEmpty()) {
        setHint(chooseFirstHint);
        return;
    }
    Text4->setText(queryNumber);
    // A company the catalogue does not know is left unselected: the user picks one before "修改".
    Text5->setCurrentIndex(Text5->findText(companyName));
    Text6->setText(parcelNote);
    showOnlyPanel(Picture5);
}

void MainWindow::Command4_Click() {
    showOnlyPanel(Picture4);
}

void MainWindow::Command7_Click() {
    // Enter or a hasty click must not empty the book: the safe answer is the default.
    if (MessageBox::questionDefaultNo(this, QStringLiteral("确定要清空查询列表吗?")) != MessageBox::Answer::Yes)
        return;
    Text3->clearEditText();
    const Result cleared = book.clear();
    clearProgressList();
    // A file that is gone lacks nothing; one that could not be deleted was written empty instead,
    // and how that went is told after the hint.
    const bool removed = !QFileInfo::exists(book.path());
    if (removed) {
        m_storeProblem.clear();
        m_storeProblemTold = false;
    }
    setHint(QStringLiteral("查询列表已清空..."));
    if (!removed)
        storeSaved(cleared);
}

void MainWindow::Command13_Click() {
    // The same rules as on the add panel: a record is one line, and "|" in the number would move
    // the company into the note when the book is read again.
    const QString number = ParcelRecord::singleLine(Text4->text());
    const QString note = ParcelRecord::singleLine(Text6->text());
    if (number.isEmpty()) {
        MessageBox::information(this, QStringLiteral("请输入单号!"));
        return;
    }
    if (number.contains(u'|')) {
        MessageBox::information(this, QStringLiteral("单号不正确,请您检查!"));
        return;
    }
    if (Text5->currentText().isEmpty()) {
        MessageBox::information(this, QStringLiteral("请输入快递公司!"));
        return;
    }
    if (note.isEmpty()) {
        MessageBox::information(this, QStringLiteral("请输入备注信息!"));
        return;
    }
    const QString question = QStringLiteral("确定要修改[") + Text1->currentText() + QStringLiteral("]此单号码?");
    // The book is rewritten either way, in one step, so it is never absent from disk.
    if (MessageBox::question(this, question) == MessageBox::Answer::Yes)
        storeSaved(book.replace(recordIndex(parcelIndexText, Combo6.size()),
                                ParcelRecord::build(number, Text5->currentText(), note)));
    else
        writeStore();
    reselectFirst();
    Picture5->hide();
}

void MainWindow::Command9_Click() {
    const QString question = QStringLiteral("确定要删除[") + Text1->currentText() + QStringLiteral("]此单号码?");
    if (MessageBox::question(this, question) == MessageBox::Answer::Yes) {
        Picture5->hide();
        storeSaved(book.remove(recordIndex(parcelIndexText, Combo6.size())));
    } else {
        writeStore();
    }
    reselectFirst();
}

void MainWindow::Command12_Click() {
    if (Text1->currentText().isEmpty()) {
        setHint(chooseFirstHint);
        return;
    }
    const QString text = QStringLiteral("快递物品：") + parcelNote + QStringLiteral("\r\n快递公司：") + companyName +
                         QStringLiteral("\r\n快递单号：") + queryNumber;
    setHint(putOnClipboard(text) ? QStringLiteral("当前快递信息已复制..") : noClipboardHint);
}

void MainWindow::ListView1_Click() {
    QTreeWidgetItem* row = selectedProgressRow();
    if (!row) {
        setHint(noProgressHint);
        return;
    }
    if (!tooltipBalloon)
        tooltipBalloon = new Class1(this);
    tooltipBalloon->ParentControl(ListView1);
    tooltipBalloon->ToolTipTitle(QStringLiteral("物流跟踪信息"));
    tooltipBalloon->ToolTipText(QStringLiteral("时间:") + row->text(ColumnSj) + QStringLiteral("\r\n物流进度:") +
                                row->text(ColumnWl));
    tooltipBalloon->Create();
}

void MainWindow::ListView1_DblClick() {
    QTreeWidgetItem* row = selectedProgressRow();
    if (!row) {
        setHint(noProgressHint);
        return;
    }
    const QString text = row->text(ColumnSj) + u' ' + row->text(ColumnWl);
    setHint(putOnClipboard(text) ? QStringLiteral("单条物流进度已复制..") : noClipboardHint);
}

} // namespace zjx
