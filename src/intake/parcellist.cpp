#include "intake/parcellist.h"

#include "intake/companynames.h"

#include <QRegularExpression>

namespace zjx {
namespace {

bool isSpace(QChar c) {
    return c.isSpace() || c == u'\u3000' || c == u'\uFEFF';
}

QString trimmed(QStringView text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && isSpace(text[begin]))
        ++begin;
    while (end > begin && isSpace(text[end - 1]))
        --end;
    return text.mid(begin, end - begin).toString();
}

// A record line of the book holds its fields apart by "|": a note must not bring one in.
QString noteText(const QStringList& parts) {
    QString note = parts.join(u' ');
    note.replace(u'|', u'｜');
    return note;
}

bool headerIs(const QString& cell, std::initializer_list<const char16_t*> words) {
    for (const char16_t* word : words)
        if (cell.contains(QStringView(word)))
            return true;
    return false;
}

} // namespace

ParcelColumns findParcelColumns(const QStringList& headerCells) {
    ParcelColumns columns;
    int notePriority = 99;
    for (int i = 0; i < headerCells.size(); ++i) {
        const QString cell = trimmed(headerCells[i]).remove(u' ');
        // "订单号" (the shop's order) is not the parcel's number.
        if (columns.number < 0 &&
            (headerIs(cell, {u"运单号", u"物流单号", u"快递单号", u"运单编号", u"面单号"}) || cell == u"单号" ||
             cell.compare(u"tracking number", Qt::CaseInsensitive) == 0)) {
            columns.number = i;
            continue;
        }
        if (columns.company < 0 && headerIs(cell, {u"快递公司", u"物流公司", u"承运公司", u"承运商"})) {
            columns.company = i;
            continue;
        }
        // One note column, the most telling one the table has.
        static constexpr const char16_t* noteHeaders[] = {u"备注", u"商品名称", u"宝贝标题", u"商品标题", u"收件人",
                                                          u"收货人"};
        for (int p = 0; p < int(std::size(noteHeaders)) && p < notePriority; ++p)
            if (cell.contains(QStringView(noteHeaders[p]))) {
                columns.note = i;
                notePriority = p;
                break;
            }
    }
    return columns;
}

QString trackingNumberIn(QStringView cell) {
    QString s = trimmed(cell);
    // ="773…" keeps a number as text in a spreadsheet; a leading ' or tab does the same.
    if (s.startsWith(u"=\"") && s.endsWith(u'"'))
        s = s.mid(2, s.size() - 3);
    while (!s.isEmpty() && (s.front() == u'\'' || s.front() == u'"' || s.front() == u'`'))
        s.remove(0, 1);
    while (!s.isEmpty() && (s.back() == u'"' || s.back() == u'\''))
        s.chop(1);
    s = trimmed(s);
    static const QRegularExpression shape(QStringLiteral("^[A-Za-z0-9-]{8,40}$"));
    static const QRegularExpression digit(QStringLiteral("[0-9]"));
    if (!shape.match(s).hasMatch() || !digit.match(s).hasMatch())
        return {};
    return s;
}

IntakeRow rowFromCells(const QStringList& cells, const ParcelColumns& columns) {
    IntakeRow row;
    const auto cell = [&](int i) { return i >= 0 && i < cells.size() ? trimmed(cells[i]) : QString(); };
    row.number = trackingNumberIn(cell(columns.number));
    row.companyText = cell(columns.company);
    row.company = companyNamedIn(row.companyText);
    row.note = noteText({cell(columns.note)});
    return row;
}

namespace {

QStringList fieldsOf(const QString& line) {
    static const QRegularExpression delimiters(QStringLiteral("[,，;；|｜]"));
    static const QRegularExpression spaces(QStringLiteral("[\\s\\x{3000}]+"));
    if (line.contains(u'\t'))
        return line.split(u'\t'); // spreadsheet cells, empty ones included
    if (line.contains(delimiters))
        return line.split(delimiters);
    return line.split(spaces, Qt::SkipEmptyParts);
}

IntakeRow rowFromFields(const QStringList& fields) {
    IntakeRow row;
    int numberAt = -1;
    for (int i = 0; i < fields.size() && numberAt < 0; ++i)
        if (const QString number = trackingNumberIn(fields[i]); !number.isEmpty()) {
            row.number = number;
            numberAt = i;
        }
    QStringList note;
    for (int i = 0; i < fields.size(); ++i) {
        const QString field = trimmed(fields[i]);
        if (i == numberAt || field.isEmpty())
            continue;
        if (row.company < 0 && row.companyText.isEmpty()) {
            if (const int company = companyNamedIn(field); company >= 0) {
                row.companyText = field;
                row.company = company;
                continue;
            }
        }
        note << field;
    }
    row.note = noteText(note);
    return row;
}

} // namespace

ReadParcels readPastedList(const QString& text, int limit) {
    ReadParcels read;
    ParcelColumns columns;
    for (const QStringView rawLine : QStringView(text).split(u'\n')) {
        const QString line = trimmed(rawLine);
        if (line.isEmpty())
            continue;
        const QStringList fields = fieldsOf(line);
        IntakeRow row = columns.found() ? rowFromCells(fields, columns) : rowFromFields(fields);
        if (row.number.isEmpty() && !columns.found()) {
            // "SF1234567890123 衣服,鞋": a space parts the number from a note that holds a comma.
            static const QRegularExpression any(QStringLiteral("[,，;；|｜\\s\\x{3000}]+"));
            row = rowFromFields(line.split(any, Qt::SkipEmptyParts));
        }
        if (row.number.isEmpty()) {
            // Copied with the spreadsheet's header: its columns place the lines under it.
            if (const ParcelColumns header = findParcelColumns(fields); header.found() && read.rows.isEmpty())
                columns = header;
            else
                ++read.withoutNumber;
            continue;
        }
        if (read.rows.size() >= limit) {
            ++read.overLimit;
            continue;
        }
        read.rows << row;
    }
    return read;
}

} // namespace zjx
