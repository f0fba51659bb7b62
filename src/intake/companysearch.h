#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace zjx {

// The first letter of each Chinese character's pinyin, other letters and digits as they are, all
// lower-case: "极兔速递" -> "jtsd", "EMS快递" -> "emskd". ICU's Han-Latin transliteration reads the
// characters (a character with several readings gets the one ICU gives first).
QString pinyinInitials(const QString& text);

// What typing in a company chooser finds: the display name, the service code or the pinyin
// initials containing the typed text, case ignored ("jt" finds 极兔速递, "zt" 中通快递).
bool companyMatches(int company, const QString& typed);
// The text a chooser's completer matches against for a company: name, code and initials.
QString companySearchText(int company);

// Every catalogue index, the companies the book uses most first (by their count, ties in catalogue
// order), then the others in catalogue order. `bookUses` counts records by company display name.
QList<int> companiesByUse(const QHash<QString, int>& bookUses);

} // namespace zjx
