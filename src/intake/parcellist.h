#pragma once

#include "intake/intakerow.h"

#include <QStringList>

namespace zjx {

// Where a table's number, company and note columns are, found by the headers shops' order exports
// and spreadsheets use; -1 for a column the table lacks.
struct ParcelColumns {
    int number = -1;
    int company = -1;
    int note = -1;
    bool found() const { return number >= 0; }
};
ParcelColumns findParcelColumns(const QStringList& headerCells);

// A cell as a tracking number: the marks spreadsheets put around numbers kept as text (="…", a
// leading apostrophe or tab, quotes) taken off; empty when the cell does not look like a number.
QString trackingNumberIn(QStringView cell);

// At most this many lines (or file rows) are read in one go.
inline constexpr int intakeLimit = 1000;

struct ReadParcels {
    QList<IntakeRow> rows;
    int withoutNumber = 0; // lines or rows with text but no tracking number
    int overLimit = 0;     // lines or rows past the limit, not read
};

// A pasted list, one parcel a line: "单号", "单号 备注" or "单号,快递公司,备注", the fields apart by tabs
// (copied spreadsheet cells), commas, semicolons, "|" or spaces, half- or full-width. A header line
// copied with the cells (运单号 …) places the columns of the lines under it.
ReadParcels readPastedList(const QString& text, int limit = intakeLimit);

// The rows of a table under the header row `columns` was found in.
IntakeRow rowFromCells(const QStringList& cells, const ParcelColumns& columns);

} // namespace zjx
