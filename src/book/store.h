#pragma once

#include "core/result.h"

#include <QString>
#include <QStringList>

namespace zjx {

// The store file wlnum.ini: one record per line, CR LF after every line, rewritten whole. GBK for
// every character GBK holds, GB18030 for the others (so no note is lost and GBK files stay as they are).
struct StoreContents {
    QStringList records;     // the lines, unchanged, in file order
    QStringList notes;       // the note of each record, same index
    int skippedLines = 0;    // non-empty lines that could not be read (fewer than three fields)
    int damagedLines = 0;    // lines loaded with bytes no text holds (shown as U+FFFD)
    bool fromUtf8 = false;   // the file was UTF-8 (an editor's choice); a rewrite stores it as GBK
    bool unreadable = false; // the file exists but could not be read (permissions, a folder or a FIFO of that name)
    QString problem;         // why it could not be read, in plain words
    // A rewrite would lose what the file holds beyond the records: keep the file before it.
    bool rewriteLoses() const { return skippedLines > 0 || damagedLines > 0 || fromUtf8; }
};

class Store {
public:
    static QString fileName() { return QStringLiteral("wlnum.ini"); }

    // Where the book lives: beside the program when its folder allows the atomic rewrite (a
    // temporary file beside the book), else in the user's data folder, where a book found beside
    // the program is copied once.
    static QString pathIn(const QString& folder);
    static QString locate(const QString& programFolder);
    static QString dataFolder();                       // ~/.local/share/zjx
    static bool isSystemFolder(const QString& folder); // under /usr: an installed program's
    // Where installed programs live, /usr unless a test puts a folder of its own there (empty: /usr).
    static void setSystemPrefix(const QString& prefix);

    // A missing file gives an empty book; one that exists but cannot be read says so.
    static StoreContents read(const QString& path);
    static StoreContents parse(const QByteArray& bytes);

    // Atomic: on failure the previous file stays whole. A record that cannot be stored as it is
    // fails the write (nothing is written).
    static Result write(const QString& path, const QStringList& records);
    static int firstUnwritable(const QStringList& records); // its index, -1 when every one can be stored
    static bool remove(const QString& path);                // a missing file is not an error
    // Copies the file beside itself as wlnum.ini.bak (wlnum.ini.bak.2, ... when that is taken), so
    // a rewrite cannot destroy what could not be read. Returns the copy's path, empty on failure.
    static QString keepOriginal(const QString& path);
    // Moves the file to the name keepOriginal would copy it to; that path, empty on failure.
    static QString setAside(const QString& path);
};

} // namespace zjx
