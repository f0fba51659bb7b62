#pragma once

#include <QString>
#include <QStringList>

namespace zjx {

// The store file wlnum.ini: one record per line, GBK, CR LF after every line, rewritten whole.
struct StoreContents {
    QStringList records; // the lines, unchanged, in file order
    QStringList notes;   // the note of each record, same index
    int skippedLines = 0; // lines with fewer than three fields (empty ones included)
};

class Store {
public:
    static QString fileName() { return QStringLiteral("wlnum.ini"); }

    // Where the book lives: beside the program, or in the user's data folder when the program's
    // folder cannot be written.
    static QString pathIn(const QString& folder);
    static QString locate(const QString& programFolder);

    // A missing or unreadable file gives an empty book.
    static StoreContents read(const QString& path);
    static StoreContents parse(const QByteArray& bytes);

    // Atomic: on failure the previous file stays whole. Returns an error text, empty on success.
    static QString write(const QString& path, const QStringList& records);
    static bool remove(const QString& path); // a missing file is not an error
};

} // namespace zjx
