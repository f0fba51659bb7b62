#include "finder/companyfinder.h"

namespace zjx {

QString finderSearchWord(const QString& keyword) {
    qsizetype first = 0;
    qsizetype last = keyword.size();
    while (first < last && keyword.at(first) == u' ')
        ++first;
    while (last > first && keyword.at(last - 1) == u' ')
        --last;
    return keyword.mid(first, last - first);
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
