#include "book/bookkeeper.h"

#include "book/parcelrecord.h"
#include "book/store.h"

#include <QFileInfo>
#include <utility>

namespace zjx {
namespace {

const QString unsavedMark = QStringLiteral("[未保存] ");
const QString unreadableMark = QStringLiteral("[列表文件无法读取] ");
const QString unreadableHint = QStringLiteral("快递列表文件无法读取,更改将只保存在内存中");
const QString unreadableSaveHint = QStringLiteral("保存失败!快递列表文件无法读取,更改只在内存中");

} // namespace

QString BookKeeper::chosenParcelText() const {
    return QStringLiteral("快递物品：") + parcelNote + QStringLiteral("\r\n快递公司：") + companyName +
           QStringLiteral("\r\n快递单号：") + queryNumber;
}

BookKeeper::BookKeeper(QObject* parent) : QObject(parent) {
    connect(&m_book, &ParcelBook::notesAdopted, this, [this](const QStringList& notes) {
        // The chosen parcel stays chosen: it moved down by the records put in front.
        bool ok = false;
        const int chosen = parcelIndexText.toInt(&ok);
        if (ok && chosen >= 0)
            parcelIndexText = QString::number(chosen + notes.size());
    });
}

QString BookKeeper::withBookState(const QString& hint) const {
    QString marks = m_book.notice();
    if (hint == unreadableHint || hint == unreadableSaveHint || hint == ParcelBook::saveFailedText())
        return marks + hint;
    if (m_book.unreadable())
        marks += unreadableMark;
    else if (!m_storeProblem.isEmpty())
        marks += unsavedMark;
    return marks + hint;
}

bool BookKeeper::storeSaved(const Result& saved) {
    if (saved.ok()) {
        m_storeProblem.clear();
        m_storeProblemTold = false;
        return true;
    }
    // The book in memory keeps the change; the user must learn that the file did not, once in a
    // box and then in every hint until a rewrite succeeds.
    m_storeProblem = saved.errorText();
    Q_EMIT hint(m_book.unreadable() ? unreadableSaveHint : ParcelBook::saveFailedText());
    if (!std::exchange(m_storeProblemTold, true))
        Q_EMIT warning(saved.errorText());
    return false;
}

bool BookKeeper::writeStore() {
    return storeSaved(m_book.save());
}

bool BookKeeper::choose(int index) {
    // Nothing chosen (an empty book): there is no parcel to ask about, and asking again about the
    // parcel chosen before would show a parcel that is no longer listed.
    if (index < 0 || index >= records().size())
        return false;
    chosenRecordText = records().at(index);
    const ParcelFields fields = ParcelRecord::split(chosenRecordText);
    queryNumber = fields.number;
    companyName = fields.company;
    parcelNote = fields.note;
    return true;
}

void BookKeeper::chooseListed(const QString& number, const QString& company) {
    // A timed or loop query keeps asking about the parcel it was started on (the selector and
    // "删除" are locked meanwhile).
    if (m_choiceHeld && m_choiceHeld())
        return;
    const int i = indexOf(number, company);
    if (i < 0)
        return;
    // Chosen as the selector would choose it, without asking the service again.
    Q_EMIT chosenQuietly(i);
    choose(i);
    parcelIndexText = QString::number(i);
}

BookKeeper::Recorded BookKeeper::record(const QString& number, const QString& company, const QString& note) {
    // The same number with the same company is the same parcel: it is listed once.
    if (isListed(number, company)) {
        Q_EMIT hint(QStringLiteral("该单号已在快递列表中,未重复保存"));
        return Recorded::AlreadyListed;
    }
    if (!storeSaved(m_book.append(ParcelRecord::build(number, company, note))))
        return Recorded::NotSaved;
    Q_EMIT hint(QStringLiteral("快递单号已记录!"));
    return Recorded::Saved;
}

bool BookKeeper::recordMany(const QStringList& records) {
    return storeSaved(records.isEmpty() ? Result::success() : m_book.append(records));
}

QSet<QString> BookKeeper::numbers() const {
    QSet<QString> numbers;
    numbers.reserve(records().size());
    for (const QString& record : records())
        numbers.insert(ParcelRecord::split(record).number);
    return numbers;
}

int BookKeeper::indexOf(const QString& number, const QString& company) const {
    for (int i = 0; i < records().size(); ++i) {
        const ParcelFields fields = ParcelRecord::split(records().at(i));
        if (fields.number == number && fields.company == company)
            return i;
    }
    return -1;
}

QString BookKeeper::noteOf(const QString& number, const QString& company) const {
    const int i = indexOf(number, company);
    return i < 0 ? QString() : ParcelRecord::split(records().at(i)).note;
}

void BookKeeper::showLoaded(const ParcelBook::Loaded& loaded) {
    if (loaded.unreadable)
        Q_EMIT hint(unreadableHint);
    else if (loaded.unreadableLines > 0)
        Q_EMIT hint(QStringLiteral("保存时原文件将备份为%1.bak").arg(Store::fileName()));
}

void BookKeeper::load() {
    showLoaded(m_book.load());
}

void BookKeeper::reload() {
    showLoaded(m_book.reload());
    // A running timed or loop query re-queries the selected parcel: it stays selected.
    if (chosenRecordText.isEmpty())
        return;
    bool ok = false;
    int i = parcelIndexText.toInt(&ok);
    if (!ok || i < 0 || i >= records().size() || records().at(i) != chosenRecordText)
        i = int(records().indexOf(chosenRecordText));
    if (i < 0)
        return;
    Q_EMIT chosenQuietly(i);
    parcelIndexText = QString::number(i);
}

void BookKeeper::clear() {
    const Result cleared = m_book.clear();
    // A file that is gone lacks nothing; one that could not be deleted was written empty instead,
    // and how that went is told after the hint.
    const bool removed = !QFileInfo::exists(m_book.path());
    if (removed) {
        m_storeProblem.clear();
        m_storeProblemTold = false;
    }
    Q_EMIT hint(QStringLiteral("查询列表已清空..."));
    if (!removed)
        storeSaved(cleared);
}

int BookKeeper::chosenIndex() const {
    bool ok = false;
    const int i = parcelIndexText.toInt(&ok);
    return ok && i >= 0 && i < records().size() ? i : -1;
}

void BookKeeper::changeChosen(const QString& record, bool confirmed) {
    // The book is rewritten either way, in one step, so it is never absent from disk.
    if (confirmed)
        storeSaved(m_book.replace(chosenIndex(), record));
    else
        writeStore();
}

void BookKeeper::removeChosen(bool confirmed) {
    if (confirmed)
        storeSaved(m_book.remove(chosenIndex()));
    else
        writeStore();
}

} // namespace zjx
