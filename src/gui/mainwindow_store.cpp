#include "gui/mainwindow.h"

#include "book/parcelrecord.h"
#include "book/store.h"
#include "gui/platform/messagebox.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QSignalBlocker>

namespace zjx {
namespace {

const QString saveFailedText = QStringLiteral("保存失败!快递列表未能写入文件,请检查磁盘空间或文件夹权限");
const QString unsavedMark = QStringLiteral("[未保存] ");
const QString unreadableMark = QStringLiteral("[列表文件无法读取] ");
const QString unreadableHint = QStringLiteral("快递列表文件无法读取,更改将只保存在内存中");
const QString unreadableSaveHint = QStringLiteral("保存失败!快递列表文件无法读取,更改只在内存中");

QString unreadableText(const QString& path) {
    return QStringLiteral("快递列表文件无法读取: %1\n为免覆盖其中的快递,新的更改暂只保存在内存中。"
                          "请检查该文件的权限:文件能读取后,下次保存会保留其中的快递并加上新的更改。")
        .arg(path);
}

} // namespace

QString MainWindow::addPanelNumber() const {
    return ParcelRecord::singleLine(Text3->currentText());
}

QString MainWindow::addPanelNote() const {
    return ParcelRecord::singleLine(Text2->text());
}

QString MainWindow::withBookState(const QString& hint) const {
    QString marks = m_bookNotice;
    if (hint == unreadableHint || hint == unreadableSaveHint || hint == saveFailedText)
        return marks + hint;
    if (m_storeUnreadable)
        marks += unreadableMark;
    else if (!m_storeProblem.isEmpty())
        marks += unsavedMark;
    return marks + hint;
}

bool MainWindow::adoptReadableBook() {
    const StoreContents now = Store::read(m_storePath);
    if (now.unreadable)
        return false;
    // The user made the file readable (or removed it): its parcels come first, those added since
    // follow, and the chosen parcel stays chosen.
    m_storeUnreadable = false;
    m_keepOriginal = now.rewriteLoses();
    Combo6 = now.records + Combo6;
    {
        const QSignalBlocker block(Text1);
        Text1->insertItems(0, now.notes);
    }
    bool ok = false;
    const int chosen = parcelIndexText.toInt(&ok);
    if (ok && chosen >= 0)
        parcelIndexText = QString::number(chosen + now.records.size());
    return true;
}

bool MainWindow::writeStore() {
    QString problem;
    if (m_storeUnreadable && !adoptReadableBook()) {
        problem = unreadableText(m_storePath);
    } else if (m_keepOriginal && QFileInfo::exists(m_storePath) && Store::keepOriginal(m_storePath).isEmpty()) {
        // What could not be read must not go before it is kept.
        problem = saveFailedText;
    } else {
        if (std::exchange(m_keepOriginal, false) && m_unreadableLines > 0)
            m_bookNotice = QStringLiteral("[%1行无法完整读取,原文件已备份] ").arg(m_unreadableLines);
        if (!Store::write(m_storePath, Combo6).isEmpty())
            problem = saveFailedText;
    }
    if (problem.isEmpty()) {
        m_storeProblem.clear();
        m_storeProblemTold = false;
        return true;
    }
    // The book in memory keeps the change; the user must learn that the file did not, once in a
    // box and then in every hint until a rewrite succeeds.
    m_storeProblem = problem;
    setHint(m_storeUnreadable ? unreadableSaveHint : saveFailedText);
    if (!std::exchange(m_storeProblemTold, true))
        MessageBox::warning(this, problem);
    return false;
}

MainWindow::Recorded MainWindow::xr() {
    const QString number = addPanelNumber();
    const QString company = Combo1->currentText();
    const QString note = addPanelNote();
    // The same number with the same company is the same parcel: it is listed once.
    for (const QString& record : std::as_const(Combo6)) {
        const ParcelFields fields = ParcelRecord::split(record);
        if (fields.number == number && fields.company == company) {
            setHint(QStringLiteral("该单号已在快递列表中,未重复保存"));
            return Recorded::AlreadyListed;
        }
    }
    Combo6.append(ParcelRecord::build(number, company, note));
    appendKeepingSelection(Text1, {note});
    if (!writeStore())
        return Recorded::NotSaved;
    setHint(QStringLiteral("快递单号已记录!"));
    return Recorded::Saved;
}

void MainWindow::dq() {
    const StoreContents contents = Store::read(m_storePath);
    Combo6.append(contents.records);
    appendKeepingSelection(Text1, contents.notes);
    m_storeUnreadable = contents.unreadable;
    m_keepOriginal = contents.rewriteLoses();
    m_unreadableLines = contents.skippedLines + contents.damagedLines;
    m_bookNotice =
        m_unreadableLines > 0 ? QStringLiteral("[列表有%1行无法完整读取] ").arg(m_unreadableLines) : QString();
    if (m_storeUnreadable)
        setHint(unreadableHint);
    else if (m_unreadableLines > 0)
        setHint(QStringLiteral("保存时原文件将备份为%1.bak").arg(Store::fileName()));
}

void MainWindow::reloadBook() {
    {
        const QSignalBlocker block(Text1);
        Text1->clear();
    }
    Combo6.clear();
    dq();
    // A running timed or loop query re-queries the selected parcel: it stays selected.
    if (chosenRecordText.isEmpty())
        return;
    bool ok = false;
    int i = parcelIndexText.toInt(&ok);
    if (!ok || i < 0 || i >= Combo6.size() || Combo6.at(i) != chosenRecordText)
        i = int(Combo6.indexOf(chosenRecordText));
    if (i < 0)
        return;
    const QSignalBlocker block(Text1);
    Text1->setCurrentIndex(i);
    parcelIndexText = QString::number(i);
}

void MainWindow::xr2() {
    writeStore();
    if (Text1->count() > 0) {
        Text1->setCurrentIndex(0);
        Text1_Click();
    } else {
        Text1->setCurrentIndex(-1);
    }
}

} // namespace zjx
