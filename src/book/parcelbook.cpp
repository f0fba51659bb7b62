#include "book/parcelbook.h"

#include "book/parcelrecord.h"
#include "book/store.h"
#include "core/atomicfile.h"

#include <QFileInfo>
#include <algorithm>
#include <utility>

namespace zjx {
namespace {

QString unreadableText(const QString& path) {
    return QStringLiteral("快递列表文件无法读取: %1\n为免覆盖其中的快递,新的更改暂只保存在内存中。"
                          "请检查该文件的权限:文件能读取后,下次保存会保留其中的快递并加上新的更改。")
        .arg(path);
}

} // namespace

ParcelBook::ParcelBook(QObject* parent) : QObject(parent) {}

QString ParcelBook::saveFailedText() {
    return QStringLiteral("保存失败!快递列表未能写入文件,请检查磁盘空间或文件夹权限");
}

QStringList ParcelBook::notes() const {
    QStringList notes;
    notes.reserve(m_records.size());
    for (const QString& record : m_records)
        notes << ParcelRecord::note(record);
    return notes;
}

ParcelBook::Loaded ParcelBook::load() {
    // The book, its copies and its lock are the user's alone from the start on.
    tightenToOwner(m_path, true);
    const StoreContents contents = Store::read(m_path);
    m_records.append(contents.records);
    Q_EMIT notesAppended(contents.notes);
    m_unreadable = contents.unreadable;
    if (m_unreadable && !contents.problem.isEmpty())
        qWarning("zjx: cannot read the book %s: it %s", qPrintable(m_path), qPrintable(contents.problem));
    m_keepOriginal = contents.rewriteLoses();
    m_unreadableLines = contents.skippedLines + contents.damagedLines;
    m_notice = m_unreadableLines > 0 ? QStringLiteral("[列表有%1行无法完整读取] ").arg(m_unreadableLines) : QString();
    return {m_unreadable, m_unreadableLines};
}

ParcelBook::Loaded ParcelBook::reload() {
    m_records.clear();
    Q_EMIT notesCleared();
    return load();
}

Result ParcelBook::append(const QString& record) {
    m_records.append(record);
    Q_EMIT notesAppended({ParcelRecord::note(record)});
    return save();
}

Result ParcelBook::append(const QStringList& records) {
    QStringList notes;
    notes.reserve(records.size());
    for (const QString& record : records)
        notes << ParcelRecord::note(record);
    m_records.append(records);
    Q_EMIT notesAppended(notes);
    return save();
}

Result ParcelBook::remove(QList<int> indexes) {
    // From the last, so each index still names its record; told one by one to the list that follows.
    std::sort(indexes.begin(), indexes.end(), std::greater<>());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    for (int index : std::as_const(indexes))
        if (index >= 0 && index < m_records.size()) {
            m_records.removeAt(index);
            Q_EMIT noteRemoved(index);
        }
    return save();
}

Result ParcelBook::replace(int index, const QString& record) {
    if (index >= 0 && index < m_records.size()) {
        m_records[index] = record;
        Q_EMIT noteReplaced(index, ParcelRecord::note(record));
    }
    return save();
}

Result ParcelBook::remove(int index) {
    if (index >= 0 && index < m_records.size()) {
        m_records.removeAt(index);
        Q_EMIT noteRemoved(index);
    }
    return save();
}

Result ParcelBook::clear() {
    // The user gives up the book, also one that could not be read: its file may go now, but one
    // click must not lose every parcel for good. The book as it was stays beside it as a .bak.
    m_unreadable = false;
    m_unreadableLines = 0;
    m_records.clear();
    chosenRecordText.clear();
    Q_EMIT notesCleared();
    const QFileInfo file(m_path);
    if (!file.exists() || (file.size() == 0 && Store::remove(m_path)) ||
        (file.isFile() && !Store::setAside(m_path).isEmpty())) {
        m_keepOriginal = false;
        m_notice.clear();
        return Result::success();
    }
    // A file that cannot be moved is copied and emptied instead, or the parcels would come back;
    // one that cannot be copied either is left as it is and the failure told.
    m_keepOriginal = true;
    return save();
}

bool ParcelBook::adoptReadableBook() {
    const StoreContents now = Store::read(m_path);
    if (now.unreadable)
        return false;
    // The user made the file readable (or removed it): its parcels come first, those added since
    // follow.
    m_unreadable = false;
    m_keepOriginal = now.rewriteLoses();
    m_records = now.records + m_records;
    Q_EMIT notesAdopted(now.notes);
    return true;
}

Result ParcelBook::save() {
    if (m_unreadable && !adoptReadableBook())
        return Result::failure(unreadableText(m_path));
    // Said before anything is written: the file keeps what it holds.
    if (const int bad = Store::firstUnwritable(m_records); bad >= 0)
        return Result::failure(QStringLiteral("保存失败!备注“%1”含有无法保存的字符,快递列表文件未改动。请修改该备注。")
                                   .arg(ParcelRecord::note(m_records.at(bad))));
    // What could not be read must not go before it is kept.
    if (m_keepOriginal && QFileInfo::exists(m_path) && Store::keepOriginal(m_path).isEmpty())
        return Result::failure(saveFailedText());
    if (std::exchange(m_keepOriginal, false) && m_unreadableLines > 0)
        m_notice = QStringLiteral("[%1行无法完整读取,原文件已备份] ").arg(m_unreadableLines);
    if (!Store::write(m_path, m_records).ok())
        return Result::failure(saveFailedText());
    return Result::success();
}

} // namespace zjx
