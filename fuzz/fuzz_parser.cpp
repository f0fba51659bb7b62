// The tracking page parser: any answer parses without a crash into exactly as many entries as it
// has rows, numbered 1 (the latest) to N, with the same cells that cutting the answer literally,
// row by row, gives; the parcel state follows the latest progress.
#include "fuzzcheck.h"

#include "core/parser.h"

#include <QStringList>

using namespace zjx;

namespace {

const QString rowStart = QStringLiteral("<tr><td>");
const QString cellStart = QStringLiteral("<td>");
const QString cellBreak = QStringLiteral("</td><td>");
const QString betweenRows = QStringLiteral("</td></tr><tr>");
const QString tableEnd = QStringLiteral("</td></tr></table>");

int literalRowCount(const QString& answer) {
    int rows = 0;
    for (qsizetype at = answer.indexOf(rowStart); at >= 0; at = answer.indexOf(rowStart, at + 1))
        ++rows;
    return qMin(rows, TrackingParser::maxRows);
}

// The parse as the window's algorithm states it: cut the answer at the fixed tags, keep a text from
// the row before when its piece is missing, insert every row at the top.
QList<ProgressEntry> literalParse(const QString& answer, int rows) {
    const QStringList rowPieces = answer.split(rowStart);
    const QStringList cellPieces = answer.split(cellStart);
    QList<ProgressEntry> list(rows);
    QString time;
    QString progress;
    int rowCount = rows;
    int cellIndex = 0;
    for (int i = 1; i <= rows; ++i) {
        --rowCount;
        if (i < rowPieces.size()) {
            const QString& piece = rowPieces.at(i);
            const qsizetype at = piece.indexOf(cellBreak);
            time = at < 0 ? QString() : piece.left(at + 1);
            time.remove(u'<');
            time.remove(betweenRows);
            time.remove(tableEnd);
        }
        cellIndex += 2;
        if (cellIndex < cellPieces.size()) {
            progress = cellPieces.at(cellIndex);
            progress.remove(betweenRows);
            progress.remove(tableEnd);
        }
        // Inserted at the top: after all rows, line rowCount + 1 from the top.
        list[rowCount] = ProgressEntry{QString::number(rowCount + 1), time, progress};
    }
    return list;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString answer = QString::fromUtf8(fuzz::bytesOf(data, size));
    const int rows = TrackingParser::countRows(answer);
    FUZZ_CHECK(rows == literalRowCount(answer));

    const QList<ProgressEntry> entries = TrackingParser::parse(answer, rows);
    FUZZ_CHECK(entries.size() == rows);
    for (int k = 0; k < rows; ++k)
        FUZZ_CHECK(entries.at(k).number == QString::number(k + 1));

    const QList<ProgressEntry> expected = literalParse(answer, rows);
    for (int k = 0; k < rows; ++k) {
        FUZZ_CHECK(entries.at(k).time == expected.at(k).time);
        FUZZ_CHECK(entries.at(k).progress == expected.at(k).progress);
    }

    if (rows > 0) {
        const QString& latest = entries.first().progress;
        const QString state = TrackingParser::parcelState(latest);
        if (latest.contains(u'签') || latest.contains(u'妥'))
            FUZZ_CHECK(state == QStringLiteral("已签收"));
        else if (latest.contains(u'派'))
            FUZZ_CHECK(state == QStringLiteral("派件中"));
        else
            FUZZ_CHECK(state == QStringLiteral("运送中"));
        // The entries share one block of their own: they stay valid once the answer is gone, and
        // a text that outlives the others can still grow in place.
        QList<ProgressEntry> kept;
        {
            const QString copy(answer.constData(), answer.size());
            kept = TrackingParser::parse(copy, rows);
        }
        FUZZ_CHECK(kept == entries);
        QString last = kept.constLast().progress;
        kept.clear();
        last.append(QStringLiteral("尾"));
        FUZZ_CHECK(last == entries.constLast().progress + QStringLiteral("尾"));
        FUZZ_CHECK(last.utf16()[last.size()] == 0);
    }
    return 0;
}
