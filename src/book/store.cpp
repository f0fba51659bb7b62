#include "book/store.h"

#include "book/parcelrecord.h"
#include "core/atomicfile.h"
#include "core/regularfile.h"
#include "core/textcodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryFile>

namespace zjx {
namespace {

const QByteArray utf8Bom("\xEF\xBB\xBF");

// The rewrite puts a temporary file beside the book and renames it over the book: the folder must
// take a new file, and an existing book must be writable (the rename would replace it otherwise
// against its owner's wish, and QSaveFile refuses that).
bool allowsAtomicRewrite(const QString& folder, const QString& book) {
    const QFileInfo file(book);
    if (file.exists() && !file.isDir() && !file.isWritable())
        return false;
    // The folder's permission bits can lie (read-only mounts): try to create a file there.
    QTemporaryFile probe(folder + QStringLiteral("/.zjx-probe-XXXXXX"));
    return probe.open();
}

// A book saved by a Linux editor is UTF-8. Text that is valid UTF-8 and holds more than ASCII is
// taken as UTF-8: GBK text of any length almost never is valid UTF-8.
std::optional<QString> asUtf8(const QByteArray& bytes) {
    bool ascii = true;
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    // Short GBK text can be valid UTF-8 by chance ("衣服" is not, but many pairs are): it then reads
    // as Latin, Greek or Cyrillic letters (two-byte sequences), while Chinese written as UTF-8 is
    // mostly three-byte characters. Only text that reads mostly as the latter is taken as UTF-8.
    qsizetype twoByte = 0;
    qsizetype wide = 0;
    for (QChar c : std::as_const(text)) {
        if (c.unicode() >= 0x800)
            ++wide;
        else if (c.unicode() >= 0x80)
            ++twoByte;
    }
    if (wide == 0 || twoByte > wide)
        return std::nullopt;
    return text;
}

} // namespace

QString Store::pathIn(const QString& folder) {
    if (folder.endsWith(u'/'))
        return folder + fileName();
    return folder + u'/' + fileName();
}

QString Store::dataFolder() {
    // Not AppDataLocation: with the organisation and the application both named zjx it doubles the
    // folder (~/.local/share/zjx/zjx).
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/zjx");
}

namespace {

QString& systemPrefix() {
    static QString prefix = QStringLiteral("/usr");
    return prefix;
}

} // namespace

void Store::setSystemPrefix(const QString& prefix) {
    systemPrefix() = prefix.isEmpty() ? QStringLiteral("/usr") : QDir::cleanPath(prefix);
}

bool Store::isSystemFolder(const QString& folder) {
    const QString clean = QDir::cleanPath(folder);
    return clean == systemPrefix() || clean.startsWith(systemPrefix() + u'/');
}

QString Store::locate(const QString& programFolder) {
    const QString beside = pathIn(programFolder);
    // An installed program's folder belongs to the package manager, which would leave a book there
    // behind on removal; even root, who may write there, keeps the book in the data folder.
    if (!isSystemFolder(programFolder) && allowsAtomicRewrite(programFolder, beside))
        return beside;
    const QString data = dataFolder();
    makePrivateFolder(data);
    const QString moved = pathIn(data);
    // Earlier versions kept the book in the doubled folder: bring it to where it is looked for.
    const QString doubled = pathIn(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    if (doubled != moved && !QFileInfo::exists(moved) && QFileInfo(doubled).isFile())
        QFile::rename(doubled, moved);
    // Bring the book beside the program along, once, so no parcel is left behind.
    if (!QFileInfo::exists(moved) && QFileInfo::exists(beside)) {
        // A book that cannot be copied (it cannot be read, or it is no file: a FIFO would block
        // the copy) stays the book: reading it then says so, and it is never replaced by an empty one.
        const RegularFileRead book = readRegularFile(beside);
        if (!book.ok() || !writeFileAtomically(moved, book.bytes).ok())
            return beside;
    }
    return moved;
}

StoreContents Store::parse(const QByteArray& bytes) {
    StoreContents contents;
    const QByteArray body = bytes.startsWith(utf8Bom) ? bytes.mid(utf8Bom.size()) : bytes;
    QString text;
    if (std::optional<QString> utf8 = asUtf8(body)) {
        text = *utf8;
        contents.fromUtf8 = true;
    } else {
        text = codec::fromGb18030(body);
    }
    for (const QString& line : codec::splitLines(text)) {
        if (line.isEmpty())
            continue;
        const ParcelFields fields = ParcelRecord::split(line);
        // A short line is skipped; the parcels after it still load.
        if (!fields.valid) {
            ++contents.skippedLines;
            continue;
        }
        // A parcel with a few bad bytes is still the user's parcel: it loads, marked where they were.
        if (line.contains(QChar::ReplacementCharacter))
            ++contents.damagedLines;
        contents.records << line;
        contents.notes << fields.note;
    }
    return contents;
}

StoreContents Store::read(const QString& path) {
    const RegularFileRead file = readRegularFile(path);
    if (file.found == FileFound::Missing)
        return {};
    if (!file.ok()) {
        StoreContents contents;
        contents.unreadable = true;
        contents.problem = file.problem;
        return contents;
    }
    return parse(file.bytes);
}

Result Store::write(const QString& path, const QStringList& records) {
    bool complete = true;
    const QByteArray bytes = codec::gb18030Lines(records, &complete);
    // A record that would come back with "?" in it is not written over the good file.
    if (!complete)
        return Result::failure(QStringLiteral("a record holds a character the book cannot store"));
    return writeFileAtomically(path, bytes);
}

int Store::firstUnwritable(const QStringList& records) {
    for (int i = 0; i < records.size(); ++i) {
        bool complete = true;
        (void)codec::toGb18030(records.at(i), &complete);
        if (!complete)
            return i;
    }
    return -1;
}

bool Store::remove(const QString& path) {
    return !QFile::exists(path) || QFile::remove(path);
}

namespace {

// wlnum.ini.bak, or wlnum.ini.bak.2, .3 ... when that is taken: an older copy is never replaced.
QString freeBackupName(const QString& path) {
    QString copy = path + QStringLiteral(".bak");
    for (int n = 2; QFileInfo::exists(copy); ++n)
        copy = path + QStringLiteral(".bak.%1").arg(n);
    return copy;
}

} // namespace

QString Store::keepOriginal(const QString& path) {
    const RegularFileRead original = readRegularFile(path);
    if (!original.ok())
        return {};
    const QString copy = freeBackupName(path);
    return writeFileAtomically(copy, original.bytes).ok() ? copy : QString();
}

QString Store::setAside(const QString& path) {
    const QString aside = freeBackupName(path);
    if (!QFile::rename(path, aside))
        return {};
    keepToOwner(aside);
    return aside;
}

} // namespace zjx
