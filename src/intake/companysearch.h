#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace zjx {

// The first letter of each Chinese character's pinyin, other letters and digits as they are, all
// lower-case: "极兔速递" -> "jtsd", "EMS快递" -> "emskd". ICU's Han-Latin transliteration reads the
// characters (a character with several readings gets the one ICU gives first).
QString pinyinInitials(const QString& text);

// The text typing is matched against for a company: name, code and initials, lower-case.
QString companySearchText(int company);
// What typing in a company chooser finds: the companies of `order` whose display name, service
// code or pinyin initials contain `typed`, case ignored ("jt" finds 极兔速递, "zt" 中通快递), in that order, except that those whose name,
// code or initials begin with it come first ("jt": 极兔速递 before 全际通快递).
QList<int> findCompanies(const QList<int>& order, const QString& typed);

// Every catalogue index, the companies the book uses most first (by their count, ties in catalogue
// order), then the others in catalogue order. `bookUses` counts records by company display name.
QList<int> companiesByUse(const QHash<QString, int>& bookUses);

} // namespace zjx
