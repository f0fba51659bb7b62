#pragma once

#include <QString>
#include <QStringList>

namespace zjx {

// The keyword with leading and trailing spaces (U+0020 only) removed; tabs, U+3000 and the like stay.
QString finderSearchWord(const QString& keyword);

// Scans the names in order for `word` as an exact, case-sensitive substring; the last match wins.
// An empty word matches every name. Returns -1 when nothing matches. The first `originalCount`
// names are searched first and the rest only when none of them matches, so a word that always
// found an original company ("快递", "德邦") still finds it after couriers were added behind them.
int lastMatchingCompany(const QStringList& names, const QString& word, int originalCount);

} // namespace zjx
