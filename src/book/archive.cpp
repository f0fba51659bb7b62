#include "book/archive.h"

#include "book/parcelbook.h"
#include "book/store.h"
#include "core/atomicfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace zjx {

QString ParcelArchive::pathBeside(const QString& bookPath) {
    return QFileInfo(bookPath).dir().filePath(fileName());
}

void ParcelArchive::load() {
    tightenToOwner(m_path, true);
    const StoreContents contents = Store::read(m_path);
    m_records = contents.records;
    // An archive that exists but cannot be read (no permission, a FIFO in its place) is never
    // rewritten from the nothing that was read: its parcels would be lost.
    m_unreadable = contents.unreadable;
    if (m_unreadable)
        qWarning("zjx: cannot read the archive %s: it %s", qPrintable(m_path),
                 qPrintable(contents.problem.isEmpty() ? QStringLiteral("cannot be read") : contents.problem));
}

Result ParcelArchive::writeRecords(const QStringList& records) {
    if (m_unreadable)
        return Result::failure(QStringLiteral("归档文件无法读取: %1").arg(m_path));
    return Store::write(m_path, records);
}

Result ParcelArchive::reconcile(const QStringList& bookRecords) {
    QStringList kept;
    kept.reserve(m_records.size());
    for (const QString& record : std::as_const(m_records))
        if (!bookRecords.contains(record) && !kept.contains(record))
            kept.append(record);
    if (kept.size() == m_records.size())
        return Result::success();
    const Result written = writeRecords(kept);
    if (written.ok())
        m_records = kept;
    return written;
}

Result ParcelArchive::archive(ParcelBook& book, int index) {
    if (index < 0 || index >= book.records().size())
        return Result::failure(QStringLiteral("no such parcel"));
    const QString record = book.records().at(index);
    QStringList grown = m_records;
    grown.append(record);
    // First into the archive: until the book is rewritten the parcel is in both files.
    const Result added = writeRecords(grown);
    if (!added.ok())
        return added;
    m_records = grown;
    return book.remove(index);
}

Result ParcelArchive::restore(ParcelBook& book, int index) {
    if (index < 0 || index >= m_records.size())
        return Result::failure(QStringLiteral("no such parcel"));
    // First into the book: until the archive is rewritten the parcel is in both files.
    const Result added = book.append(m_records.at(index));
    if (!added.ok())
        return added;
    return remove(index);
}

Result ParcelArchive::remove(int index) {
    return remove(QList<int>{index});
}

Result ParcelArchive::archive(ParcelBook& book, const QList<int>& indexes) {
    QStringList grown = m_records;
    QList<int> moved;
    QSet<int> seen;
    for (int index : indexes)
        if (index >= 0 && index < book.records().size() && !seen.contains(index)) {
            seen.insert(index);
            grown.append(book.records().at(index));
            moved.append(index);
        }
    if (moved.isEmpty())
        return Result::failure(QStringLiteral("no such parcel"));
    // First into the archive: until the book is rewritten the parcels are in both files.
    const Result added = writeRecords(grown);
    if (!added.ok())
        return added;
    m_records = grown;
    return book.remove(moved);
}

Result ParcelArchive::restore(ParcelBook& book, const QList<int>& indexes) {
    QStringList back;
    QList<int> moved;
    QSet<int> seen;
    for (int index : indexes)
        if (index >= 0 && index < m_records.size() && !seen.contains(index)) {
            seen.insert(index);
            back.append(m_records.at(index));
            moved.append(index);
        }
    if (moved.isEmpty())
        return Result::failure(QStringLiteral("no such parcel"));
    // First into the book: until the archive is rewritten the parcels are in both files.
    const Result added = book.append(back);
    if (!added.ok())
        return added;
    return remove(moved);
}

Result ParcelArchive::remove(const QList<int>& indexes) {
    QList<bool> gone(m_records.size(), false);
    bool any = false;
    for (int index : indexes)
        if (index >= 0 && index < m_records.size())
            any = gone[index] = true;
    if (!any)
        return Result::failure(QStringLiteral("no such parcel"));
    QStringList shrunk;
    shrunk.reserve(m_records.size());
    for (int i = 0; i < m_records.size(); ++i)
        if (!gone.at(i))
            shrunk.append(m_records.at(i));
    const Result written = writeRecords(shrunk);
    if (written.ok())
        m_records = shrunk;
    return written;
}

} // namespace zjx
