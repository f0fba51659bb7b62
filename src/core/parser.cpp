#include "core/parser.h"

#include <algorithm>
#include <string_view>

namespace zjx {
namespace {

constexpr QStringView rowStart = u"<tr><td>";
constexpr QStringView rowHead = u"<tr>";
constexpr QStringView cellStart = u"<td>";
constexpr QStringView timeEnd = u"</td><td>";
constexpr QStringView betweenRows = u"</td></tr><tr>";
constexpr QStringView tableEnd = u"</td></tr></table>";

// Where the answer is cut: every "<td>", and among them those that open a row ("<tr><td>"). Neither
// tag can overlap itself, and every "<tr><td>" holds one "<td>", so one search finds both.
struct Cut {
    QList<qsizetype> cells; // start of each "<td>"
    QList<qsizetype> rows;  // start of each "<tr><td>"
};

// Starts of `tag` in the answer; none of the tags searched can overlap itself.
template <typename Found> void forEachTag(QStringView answer, QStringView tag, Found&& found) {
    const std::u16string_view text(answer.utf16(), std::size_t(answer.size()));
    const std::u16string_view needle(tag.utf16(), std::size_t(tag.size()));
    for (std::size_t at = text.find(needle); at != text.npos; at = text.find(needle, at + needle.size()))
        found(qsizetype(at));
}

Cut cutAnswer(QStringView answer) {
    Cut cut;
    cut.cells.reserve(answer.size() / 32);
    cut.rows.reserve(answer.size() / 64);
    forEachTag(answer, cellStart, [&](qsizetype at) {
        cut.cells.append(at);
        if (at >= rowHead.size() && answer.sliced(at - rowHead.size(), rowHead.size()) == rowHead)
            cut.rows.append(at - rowHead.size());
    });
    return cut;
}

// Piece `index` (from 0) of the answer cut at the tag whose starts are `starts`; piece 0 would be
// the text before the first tag, so `index` is at least 1 here.
QStringView piece(QStringView answer, const QList<qsizetype>& starts, qsizetype tagSize, qsizetype index) {
    const qsizetype from = starts[index - 1] + tagSize;
    const qsizetype to = index < starts.size() ? starts[index] : answer.size();
    return answer.sliced(from, to - from);
}

// Row `row`'s time: its piece of the cut at "<tr><td>" up to the first "</td><td>" (none: empty),
// every "<" taken out. That "</td><td>" ends in a "<td>" of the cut, so the search walks the cut's
// cells from `cellCursor`, which only moves forward from row to row.
QString timeText(QStringView answer, const Cut& cut, qsizetype row, qsizetype& cellCursor) {
    const qsizetype from = cut.rows[row - 1] + rowStart.size();
    const qsizetype to = row < cut.rows.size() ? cut.rows[row] : answer.size();
    const qsizetype cellBreak = timeEnd.size() - cellStart.size(); // "</td>"
    while (cellCursor < cut.cells.size() && cut.cells[cellCursor] < from + cellBreak)
        ++cellCursor;
    for (; cellCursor < cut.cells.size() && cut.cells[cellCursor] + cellStart.size() <= to; ++cellCursor) {
        const qsizetype end = cut.cells[cellCursor] - cellBreak;
        if (answer.sliced(end, timeEnd.size()) != timeEnd)
            continue;
        if (end == from)
            return QString();
        const QStringView time = answer.sliced(from, end - from);
        return time.contains(u'<') ? time.toString().remove(u'<') : time.toString();
    }
    return QString();
}

// The cell piece with every "</td></tr><tr>", then every "</td></tr></table>" taken out.
QString progressText(QStringView cellPiece) {
    // The usual cell ends with one of the two and holds no other "<": cut the end off.
    const qsizetype firstTag = cellPiece.indexOf(u'<');
    if (firstTag < 0)
        return cellPiece.toString();
    for (QStringView ending : {betweenRows, tableEnd})
        if (firstTag + ending.size() == cellPiece.size() && cellPiece.endsWith(ending))
            return cellPiece.first(firstTag).toString();
    QString progress = cellPiece.toString();
    progress.remove(betweenRows.toString()); // this Qt has no remove(QStringView)
    progress.remove(tableEnd.toString());
    return progress;
}

} // namespace

int TrackingParser::countRows(QStringView answer) {
    int found = 0;
    forEachTag(answer, rowStart, [&](qsizetype) { found = std::min(found + 1, maxRows); });
    return found;
}

QList<ProgressEntry> TrackingParser::parse(QStringView answer, int rows) {
    QList<ProgressEntry> entries;
    if (rows <= 0)
        return entries;
    const Cut cut = cutAnswer(answer);
    entries.resize(rows);
    // Table row i gets number rows - i + 1 and lands at index rows - i. A row whose piece lies
    // beyond the cut keeps the text of the row before, as a skipped step would.
    QString time;
    QString progress;
    qsizetype cellCursor = 0;
    for (qsizetype i = 1; i <= rows; ++i) {
        if (i <= cut.rows.size())
            time = timeText(answer, cut, i, cellCursor);
        if (2 * i <= cut.cells.size())
            progress = progressText(piece(answer, cut.cells, cellStart.size(), 2 * i));
        ProgressEntry& entry = entries[rows - i];
        entry.number = QString::number(rows - i + 1);
        entry.time = time;
        entry.progress = progress;
    }
    return entries;
}

QString TrackingParser::parcelState(QStringView latestProgress) {
    if (latestProgress.contains(u'签') || latestProgress.contains(u'妥'))
        return QStringLiteral("已签收");
    if (latestProgress.contains(u'派'))
        return QStringLiteral("派件中");
    return QStringLiteral("运送中");
}

} // namespace zjx
