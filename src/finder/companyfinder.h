#pragma once

#include <QString>
#include <QStringList>

namespace zjx {

// The keyword with leading and trailing spaces (U+0020 only) removed; tabs, U+3000 and the like stay.
QString finderSearchWord(const QString& keyword);

// Scans every name in order for `word` as an exact, case-sensitive substring; the last match wins.
// An empty word matches every name. Returns -1 when nothing matches.
int lastMatchingCompany(const QStringList& names, const QString& word);

} // namespace zjx
