#include "book/archive.h"

#include "book/parcelbook.h"
#include "book/store.h"
#include "core/atomicfile.h"

#include <QDir>
#include <QFileInfo>

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
    if (index < 0 || index >= m_records.size())
        return Result::failure(QStringLiteral("no such parcel"));
    QStringList shrunk = m_records;
    shrunk.removeAt(index);
    const Result written = writeRecords(shrunk);
    if (written.ok())
        m_records = shrunk;
    return written;
}

} // namespace zjx
