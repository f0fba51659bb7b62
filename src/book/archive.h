#pragma once

#include "core/result.h"

#include <QString>
#include <QStringList>

namespace zjx {

class ParcelBook;

// The archive wlnum-archive.ini beside the book: parcels moved out of the book, in the book's own
// format. A move writes two files; it always adds the record to the file it goes to before it
// removes it from the file it leaves, so a crash between the two writes leaves the record in both
// files, never in none. At start `reconcile` settles such a record: one in both files stays in the
// book and leaves the archive (an interrupted archiving is undone, an interrupted restore is done).
class ParcelArchive {
public:
    static QString fileName() { return QStringLiteral("wlnum-archive.ini"); }
    static QString pathBeside(const QString& bookPath);

    void setPath(const QString& path) { m_path = path; }
    QString path() const { return m_path; }
    const QStringList& records() const { return m_records; }

    // Reads the archive; a missing file is an empty archive.
    void load();
    // Drops from the archive every record that is also in the book; writes only when one was found.
    Result reconcile(const QStringList& bookRecords);
    // Moves the book's record `index` into the archive, and the archive's record `index` back.
    Result archive(ParcelBook& book, int index);
    Result restore(ParcelBook& book, int index);
    // Deletes the archive's record `index` for good.
    Result remove(int index);
    // The same for many records at once: each file is written once.
    Result archive(ParcelBook& book, const QList<int>& indexes);
    Result restore(ParcelBook& book, const QList<int>& indexes);
    Result remove(const QList<int>& indexes);

private:
    Result writeRecords(const QStringList& records);

    QString m_path;
    QStringList m_records;
    bool m_unreadable = false;
};

} // namespace zjx
