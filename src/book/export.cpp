#include "book/export.h"

#include "core/textcodec.h"

#include <QSaveFile>

namespace zjx {
namespace {

const QString cellGap = QStringLiteral("   ");

// Only spaces are trimmed; tabs and other blanks belong to the text.
QString trimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

QString SetStringFixedLength(const QString& strIn, qint32 lngFixStrLen) {
    const QString s = trimSpaces(strIn);
    const int n = codec::gbkWidth(s);
    if (n > 0 && lngFixStrLen > 0 && n < lngFixStrLen)
        return s + QString(lngFixStrLen - n, u' ');
    return s;
}

QString ListExport::cellText(const QString& cell) {
    if (cell.size() * 2 <= cellByteLimit || codec::gbkWidth(cell) <= cellByteLimit)
        return cell;
    // Walk whole characters (surrogate pairs included) so the cut falls between two of them.
    int bytes = 0;
    qsizetype i = 0;
    while (i < cell.size()) {
        const qsizetype step = (cell.at(i).isHighSurrogate() && i + 1 < cell.size()) ? 2 : 1;
        const int width = codec::gbkWidth(cell.mid(i, step));
        if (bytes + width > cellByteLimit)
            break;
        bytes += width;
        i += step;
    }
    return cell.left(i);
}

QString ListExport::line(const QStringList& cells) {
    QString out;
    for (qsizetype j = 0; j < cells.size(); ++j) {
        const QString cell = cellText(cells.at(j));
        out += j == 0 ? SetStringFixedLength(cell, firstCellWidth) : cell;
        if (j + 1 < cells.size())
            out += cellGap;
    }
    return out;
}

QByteArray ListExport::bytes(const QList<QStringList>& rows) {
    QStringList lines;
    lines.reserve(rows.size());
    for (const QStringList& row : rows)
        lines << line(row);
    return codec::gbkLines(lines);
}

QString ListExport::write(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString().isEmpty() ? QStringLiteral("open failed") : file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error.isEmpty() ? QStringLiteral("write failed") : error;
    }
    if (!file.commit())
        return file.errorString().isEmpty() ? QStringLiteral("commit failed") : file.errorString();
    return {};
}

} // namespace zjx
