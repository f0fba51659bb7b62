#include "branch/branchpage.h"

#include <QStringList>

namespace zjx {

BranchFields cutBranchPage(const QString& page) {
    const QStringList pieces = page.split(QStringLiteral("td"), Qt::KeepEmptyParts, Qt::CaseSensitive);
    BranchFields fields;
    for (int k = 0; k < int(fields.size()); ++k) {
        const qsizetype piece = 6 + 4 * k;
        const qsizetype dropped = k == 5 ? 20 : 19;
        if (piece >= pieces.size() || pieces.at(piece).size() <= dropped)
            continue;
        fields[k] = pieces.at(piece).mid(dropped).remove(QStringLiteral("</"));
    }
    return fields;
}

} // namespace zjx
