#pragma once

#include "core/result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace zjx {

// Trims spaces from both ends and pads with spaces to `lngFixStrLen` display columns, counted in
// GBK bytes (a Chinese character counts 2). A text as wide or wider is never cut; an empty text
// (or one of spaces only) stays empty.
QString SetStringFixedLength(const QString& strIn, qint32 lngFixStrLen);

// The text listing of a progress list: one line per row, the first cell padded to 8 columns,
// three spaces between cells, GBK, CR LF after every line.
class ListExport {
public:
    static constexpr int cellByteLimit = 1023;
    static constexpr int firstCellWidth = 8;

    // The cell up to 1023 bytes of its GBK form, never ending in half a double-byte character.
    static QString cellText(const QString& cell);
    static QString line(const QStringList& cells);
    static QByteArray bytes(const QList<QStringList>& rows);

    // Atomic: the file is complete or, on failure, as it was before.
    static Result write(const QString& path, const QByteArray& bytes);
};

} // namespace zjx
