#pragma once

#include <QByteArray>
#include <QString>

class QFile;

namespace zjx {

// What the program found where it reads one of its own files (the book, the archive, the watch's
// files, the settings). A FIFO, a device or a socket put in a file's place would block a plain
// open() or read() for good, before any window shows: such a file is never opened for reading.
enum class FileFound {
    Regular,    // a regular file (a symbolic link to one counts), opened or read
    Missing,    // nothing at the path
    NotRegular, // a FIFO, a device, a socket or a folder: reported like an unreadable file
    Unreadable, // a regular file that cannot be opened or read (permissions, an I/O error)
};

struct RegularFileRead {
    FileFound found = FileFound::Missing;
    QByteArray bytes;
    QString problem; // what is wrong, in plain words, for a warning; empty when read or missing
    bool ok() const { return found == FileFound::Regular; }
};

// Opens `path` for reading only when it is a regular file, without ever waiting: it is checked
// before the open (a device is not even opened), opened with O_NONBLOCK, checked again on the open
// descriptor (the file checked is the file read), then set to blocking reads. On Regular `file`
// is open on that descriptor and closes it; otherwise `file` is left closed.
FileFound openRegularFile(QFile& file, const QString& path, QString* problem = nullptr);

// The whole content of a regular file at `path`, read as above.
RegularFileRead readRegularFile(const QString& path);

// For a file that another library opens itself (Qt's settings, an SQLite database): true when
// nothing is at `path` or a regular file is. Checks without opening, so it never blocks.
bool regularOrMissing(const QString& path, QString* problem = nullptr);

} // namespace zjx
