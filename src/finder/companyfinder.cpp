#include "finder/companyfinder.h"

#include "core/textutil.h"

namespace zjx {

QString finderSearchWord(const QString& keyword) {
    return trimSpaces(keyword);
}

namespace {

int lastMatchIn(const QStringList& names, const QString& word, int from, int to) {
    int found = -1;
    for (int i = from; i < to; ++i) {
        if (word.isEmpty() || names.at(i).contains(word, Qt::CaseSensitive))
            found = i;
    }
    return found;
}

} // namespace

int lastMatchingCompany(const QStringList& names, const QString& word, int originalCount) {
    const int split = qBound(0, originalCount, int(names.size()));
    const int found = lastMatchIn(names, word, 0, split);
    return found >= 0 ? found : lastMatchIn(names, word, split, int(names.size()));
}

} // namespace zjx
