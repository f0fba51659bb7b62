#pragma once

#include "core/result.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace zjx {

// The parcel book: the records of the store file in memory, the parcel chosen last, and where the
// file lives. Every change is written to the file at once (atomically) and its outcome returned;
// the book in memory keeps a change the file did not take. The notes of the records are announced
// as they change, so the one list that shows them follows without keeping indexes by hand.
class ParcelBook : public QObject {
    Q_OBJECT
public:
    explicit ParcelBook(QObject* parent = nullptr);

    void setPath(const QString& path) { m_path = path; }
    QString path() const { return m_path; }

    const QStringList& records() const { return m_records; }
    QStringList notes() const;

    // What reading the file found.
    struct Loaded {
        bool unreadable = false; // the file exists but cannot be read: it is never overwritten
        int unreadableLines = 0; // lines that could not be read whole
    };
    // Appends the file's records to the book.
    Loaded load();
    // Empties the book and reads the file again.
    Loaded reload();

    Result append(const QString& record);
    Result replace(int index, const QString& record); // an index outside the book changes nothing
    Result remove(int index);                         // likewise
    // Many at once, the file written once.
    Result append(const QStringList& records);
    Result remove(QList<int> indexes);
    // Empties the book and deletes the file, or writes it empty when it cannot be deleted.
    Result clear();
    // Writes the whole book. A file that could not be read is never overwritten: once it can be
    // read again, its records go in front of the book first.
    Result save();

    static QString saveFailedText();

    bool unreadable() const { return m_unreadable; }
    // Marks every hint carries while lines of the file could not be read; empty when none.
    QString notice() const { return m_notice; }

    QString chosenRecordText; // the record of the parcel chosen last

Q_SIGNALS:
    void notesAppended(const QStringList& notes);
    void notesAdopted(const QStringList& notes); // put in front: the file became readable again
    void noteReplaced(int index, const QString& note);
    void noteRemoved(int index);
    void notesCleared();

private:
    bool adoptReadableBook();

    QStringList m_records; // the record lines, in file order
    QString m_path;
    bool m_unreadable = false;
    bool m_keepOriginal = false; // the file holds more than was read: copy it before the next rewrite
    int m_unreadableLines = 0;
    QString m_notice;
};

} // namespace zjx
