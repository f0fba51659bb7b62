#pragma once

#include <QList>
#include <QString>
#include <QStringView>

namespace zjx {

// One line of the progress list: "1" is the latest event.
struct ProgressEntry {
    QString number;
    QString time;
    QString progress;

    friend bool operator==(const ProgressEntry&, const ProgressEntry&) = default;
};

// Reads the tracking service's event table by cutting the answer at its fixed tag strings
// ("<tr><td>", "<td>", "</td><td>"), not as HTML, so odd shapes give the same cells the cut gives:
// text between rows stays in the cells, a row without "</td><td>" has an empty time, text after
// "</table>" joins the last progress. The time spent grows with the answer's length, not with rows times length.
class TrackingParser {
public:
    // The row counter is 16-bit: at most this many rows are counted and listed.
    static constexpr int maxRows = 32767;

    // Occurrences of "<tr><td>", capped at maxRows.
    static int countRows(QStringView answer);

    // The first `rows` rows of the answer, latest first: table row k gets number rows - k + 1. A row
    // beyond the cut keeps the time (or progress) of the row before, as a skipped step would.
    static QList<ProgressEntry> parse(QStringView answer, int rows);

    // "已签收" when the latest progress holds "签" or "妥", else "派件中" when it holds "派",
    // else "运送中".
    static QString parcelState(QStringView latestProgress);
};

} // namespace zjx
