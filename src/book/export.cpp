#include "book/export.h"

#include "core/atomicfile.h"
#include "core/textcodec.h"
#include "core/textutil.h"

namespace zjx {
namespace {

const QString cellGap = QStringLiteral("   ");

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
        // Only a high surrogate followed by a low one is a pair; a lone one is a "?" of its own.
        const qsizetype step =
            (cell.at(i).isHighSurrogate() && i + 1 < cell.size() && cell.at(i + 1).isLowSurrogate()) ? 2 : 1;
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

Result ListExport::write(const QString& path, const QByteArray& bytes) {
    // The user hands an export on: it is made as the user's umask says, unlike the book.
    return writeFileAtomically(path, bytes, FileAccess::UmaskDefault);
}

} // namespace zjx
