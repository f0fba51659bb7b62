#include "book/store.h"

#include "book/parcelrecord.h"
#include "core/atomicfile.h"
#include "core/textcodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace zjx {

QString Store::pathIn(const QString& folder) {
    if (folder.endsWith(u'/'))
        return folder + fileName();
    return folder + u'/' + fileName();
}

QString Store::locate(const QString& programFolder) {
    const QString beside = pathIn(programFolder);
    QFileInfo file(beside);
    if (file.exists() ? file.isWritable() : QFileInfo(programFolder).isWritable()) {
        // The folder's permission bits can lie (read-only mounts): try to create a file there.
        QTemporaryFile probe(programFolder + QStringLiteral("/.zjx-probe-XXXXXX"));
        if (file.exists() || probe.open())
            return beside;
    }
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    const QString moved = pathIn(data);
    // Bring a book that could be read beside the program along, so no parcel is left behind.
    if (!QFileInfo::exists(moved) && QFileInfo::exists(beside))
        QFile::copy(beside, moved);
    return moved;
}

StoreContents Store::parse(const QByteArray& bytes) {
    StoreContents contents;
    for (const QString& line : codec::splitLines(codec::fromGbk(bytes))) {
        const ParcelFields fields = ParcelRecord::split(line);
        if (!fields.valid) {
            // A short line is skipped; the parcels after it still load, so a rewrite keeps them.
            ++contents.skippedLines;
            continue;
        }
        contents.records << line;
        contents.notes << fields.note;
    }
    return contents;
}

StoreContents Store::read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parse(file.readAll());
}

QString Store::write(const QString& path, const QStringList& records) {
    return writeFileAtomically(path, codec::gbkLines(records));
}

bool Store::remove(const QString& path) { return !QFile::exists(path) || QFile::remove(path); }

} // namespace zjx
