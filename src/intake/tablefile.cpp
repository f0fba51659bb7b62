#include "intake/tablefile.h"

#include <QStringDecoder>

namespace zjx {
namespace {

// The header row stands within the first rows of an export (some put a title line above it).
constexpr int headerSearchRows = 10;

QChar delimiterOf(QStringView text) {
    const QStringView firstLines = text.left(4096);
    return firstLines.count(u'\t') > firstLines.count(u',') ? QChar(u'\t') : QChar(u',');
}

} // namespace

QString decodeTableText(const QByteArray& bytes, QString* encoding) {
    const auto decodeAs = [&](QStringConverter::Encoding e, const char* name, qsizetype skip) {
        if (encoding)
            *encoding = QString::fromLatin1(name);
        QStringDecoder decoder(e, QStringConverter::Flag::Stateless);
        return QString(decoder.decode(QByteArrayView(bytes).sliced(skip)));
    };
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return decodeAs(QStringConverter::Utf8, "UTF-8", 3);
    if (bytes.startsWith("\xFF\xFE"))
        return decodeAs(QStringConverter::Utf16LE, "UTF-16", 2);
    if (bytes.startsWith("\xFE\xFF"))
        return decodeAs(QStringConverter::Utf16BE, "UTF-16", 2);
    // Chinese text in GB18030 is almost never valid UTF-8, and UTF-8 text never needs GB18030.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString asUtf8 = utf8.decode(bytes);
    if (!utf8.hasError()) {
        if (encoding)
            *encoding = QStringLiteral("UTF-8");
        return asUtf8;
    }
    if (encoding)
        *encoding = QStringLiteral("GB18030");
    QStringDecoder gb18030("GB18030", QStringConverter::Flag::Stateless);
    return gb18030.decode(bytes);
}

QList<QStringList> splitDelimited(QStringView text, QChar delimiter) {
    QList<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false;
    bool cellStarted = false;
    const auto endCell = [&] {
        row << cell;
        cell.clear();
        cellStarted = false;
    };
    const auto endRow = [&] {
        endCell();
        if (!(row.size() == 1 && row.front().isEmpty()))
            rows << row;
        row.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < text.size() && text[i + 1] == u'"') {
                    cell += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                cell += c;
            }
            continue;
        }
        if (c == u'"' && !cellStarted) {
            quoted = true;
            cellStarted = true;
        } else if (c == delimiter) {
            endCell();
        } else if (c == u'\n') {
            endRow();
        } else if (c != u'\r') {
            cell += c;
            cellStarted = true;
        }
    }
    if (cellStarted || !cell.isEmpty() || !row.isEmpty())
        endRow();
    return rows;
}

TableFile readTableFile(const QByteArray& bytes, int limit) {
    TableFile file;
    const QString text = decodeTableText(bytes, &file.encoding);
    const QList<QStringList> rows = splitDelimited(text, delimiterOf(text));
    int headerRow = -1;
    ParcelColumns columns;
    for (int i = 0; i < rows.size() && i < headerSearchRows && headerRow < 0; ++i) {
        columns = findParcelColumns(rows[i]);
        if (columns.found())
            headerRow = i;
    }
    if (headerRow < 0) {
        file.problem = QStringLiteral("文件中没有找到单号列(表头应有“运单号”、“物流单号”或“快递单号”)");
        return file;
    }
    for (int i = headerRow + 1; i < rows.size(); ++i) {
        const IntakeRow row = rowFromCells(rows[i], columns);
        if (row.number.isEmpty()) {
            // An order not shipped yet has no number; a blank line is no row at all.
            if (!rows[i].join(QString()).trimmed().isEmpty())
                ++file.parcels.withoutNumber;
            continue;
        }
        if (file.parcels.rows.size() >= limit) {
            ++file.parcels.overLimit;
            continue;
        }
        file.parcels.rows << row;
    }
    return file;
}

} // namespace zjx
