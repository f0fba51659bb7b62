// The branch page cutter: any page gives six values without a crash, the same values as cutting
// the page step by step at "td" would give.
#include "fuzzcheck.h"

#include "branch/branchpage.h"

#include <QStringList>

using namespace zjx;

namespace {

// The cut done the slow, literal way: walk the page from "td" to "td".
QStringList piecesOf(const QString& page) {
    QStringList pieces;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = page.indexOf(QLatin1String("td"), from);
        if (at < 0)
            break;
        pieces << page.mid(from, at - from);
        from = at + 2;
    }
    pieces << page.mid(from);
    return pieces;
}

QString withoutClosers(QString text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'<' && i + 1 < text.size() && text.at(i + 1) == u'/') {
            ++i;
            continue;
        }
        out += text.at(i);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString page = QString::fromUtf8(fuzz::bytesOf(data, size));
    const BranchFields fields = cutBranchPage(page);

    const QStringList pieces = piecesOf(page);
    for (int k = 0; k < 6; ++k) {
        const qsizetype piece = 6 + 4 * k;
        const qsizetype dropped = k == 5 ? 20 : 19;
        QString expected;
        if (piece < pieces.size() && pieces.at(piece).size() > dropped)
            expected = withoutClosers(pieces.at(piece).mid(dropped));
        FUZZ_CHECK(fields[std::size_t(k)] == expected);
    }
    return 0;
}
