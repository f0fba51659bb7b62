#include "finder/companyfinder.h"

#include "core/textutil.h"

namespace zjx {

QString finderSearchWord(const QString& keyword) {
    return trimSpaces(keyword);
}

int lastMatchingCompany(const QStringList& names, const QString& word) {
    int found = -1;
    for (int i = 0; i < names.size(); ++i) {
        if (word.isEmpty() || names.at(i).contains(word, Qt::CaseSensitive))
            found = i;
    }
    return found;
}

} // namespace zjx
