#include "gui/mainwindow.h"

#include "book/parcelrecord.h"
#include "book/store.h"
#include "gui/platform/messagebox.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

namespace zjx {
namespace {

const QString unsavedMark = QStringLiteral("[未保存] ");
const QString unreadableMark = QStringLiteral("[列表文件无法读取] ");
const QString unreadableHint = QStringLiteral("快递列表文件无法读取,更改将只保存在内存中");
const QString unreadableSaveHint = QStringLiteral("保存失败!快递列表文件无法读取,更改只在内存中");

} // namespace

QString MainWindow::addPanelNumber() const {
    return ParcelRecord::singleLine(Text3->currentText());
}

QString MainWindow::addPanelNote() const {
    return ParcelRecord::singleLine(Text2->text());
}

QString MainWindow::withBookState(const QString& hint) const {
    QString marks = book.notice();
    if (hint == unreadableHint || hint == unreadableSaveHint || hint == ParcelBook::saveFailedText())
        return marks + hint;
    if (book.unreadable())
        marks += unreadableMark;
    else if (!m_storeProblem.isEmpty())
        marks += unsavedMark;
    return marks + hint;
}

void MainWindow::connectBook() {
    connect(&book, &ParcelBook::notesAppended, this,
            [this](const QStringList& notes) { appendKeepingSelection(Text1, notes); });
    connect(&book, &ParcelBook::notesAdopted, this, [this](const QStringList& notes) {
        {
            const QSignalBlocker block(Text1);
            Text1->insertItems(0, notes);
        }
        // The chosen parcel stays chosen: it moved down by the records put in front.
        bool ok = false;
        const int chosen = parcelIndexText.toInt(&ok);
        if (ok && chosen >= 0)
            parcelIndexText = QString::number(chosen + notes.size());
    });
    connect(&book, &ParcelBook::noteReplaced, this,
            [this](int index, const QString& note) { Text1->setItemText(index, note); });
    connect(&book, &ParcelBook::noteRemoved, this, [this](int index) { Text1->removeItem(index); });
    connect(&book, &ParcelBook::notesCleared, this, [this] {
        const QSignalBlocker block(Text1);
        Text1->clear();
    });
}

bool MainWindow::storeSaved(const Result& saved) {
    if (saved.ok()) {
        m_storeProblem.clear();
        m_storeProblemTold = false;
        return true;
    }
    // The book in memory keeps the change; the user must learn that the file did not, once in a
    // box and then in every hint until a rewrite succeeds.
    m_storeProblem = saved.errorText();
    setHint(book.unreadable() ? unreadableSaveHint : ParcelBook::saveFailedText());
    if (!std::exchange(m_storeProblemTold, true))
        MessageBox::warning(this, saved.errorText());
    return false;
}

bool MainWindow::writeStore() {
    return storeSaved(book.save());
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
    if (!storeSaved(book.append(ParcelRecord::build(number, company, note))))
        return Recorded::NotSaved;
    setHint(QStringLiteral("快递单号已记录!"));
    return Recorded::Saved;
}

void MainWindow::showLoaded(const ParcelBook::Loaded& loaded) {
    if (loaded.unreadable)
        setHint(unreadableHint);
    else if (loaded.unreadableLines > 0)
        setHint(QStringLiteral("保存时原文件将备份为%1.bak").arg(Store::fileName()));
}

void MainWindow::dq() {
    showLoaded(book.load());
}

void MainWindow::reloadBook() {
    showLoaded(book.reload());
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
    reselectFirst();
}

void MainWindow::reselectFirst() {
    if (Text1->count() > 0) {
        Text1->setCurrentIndex(0);
        Text1_Click();
    } else {
        Text1->setCurrentIndex(-1);
    }
}

} // namespace zjx
