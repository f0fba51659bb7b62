#pragma once

#include "intake/parcellist.h"

#include <QByteArray>

namespace zjx {

// A shop's order export or a spreadsheet saved as CSV or TSV: UTF-8 with or without a byte-order
// mark, UTF-16 with one (a spreadsheet's "Unicode text"), or GB18030 (GBK and GB2312 are part of
// it), told apart by the bytes. The header row is looked for in the first rows, so a title line
// above it does no harm.
struct TableFile {
    ReadParcels parcels;
    QString encoding; // "UTF-8", "UTF-16" or "GB18030"
    QString problem;  // why nothing could be read; empty when the columns were found
};

TableFile readTableFile(const QByteArray& bytes, int limit = intakeLimit);

// The text of a table file and the name of the encoding it was read in.
QString decodeTableText(const QByteArray& bytes, QString* encoding = nullptr);

// Rows of cells: quoted cells may hold the delimiter, doubled quotes and line breaks.
QList<QStringList> splitDelimited(QStringView text, QChar delimiter);

} // namespace zjx
