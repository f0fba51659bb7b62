#include "watch/pickupcode.h"

#include <QRegularExpression>

namespace zjx {

QString findPickupCode(const QString& progress) {
    // A named code: the word, an optional "为"/"是"/colon and an optional opening bracket.
    static const QRegularExpression named(QStringLiteral(
        "(?:取件码|取件密码|提货码|取货码|取件号|开箱码|自提码)\\s*(?:[为是]\\s*)?[:：]?\\s*[【\\[(（「“\"']?\\s*"
        "([A-Za-z0-9]+(?:[-－][A-Za-z0-9]+)*)"));
    // "凭 3-2-1045 取件": a code between 凭 and the act of fetching it.
    static const QRegularExpression bare(QStringLiteral("凭\\s*[【\\[(（「“\"']?\\s*([A-Za-z0-9]+(?:[-－][A-Za-z0-9]+)*"
                                                        ")\\s*[】\\])）」”\"']?\\s*(?:取件|取货|提货|领取|前往|到)"));
    static const QRegularExpression digit(QStringLiteral("[0-9]"));
    for (const QRegularExpression* re : {&named, &bare}) {
        for (auto it = re->globalMatch(progress); it.hasNext();) {
            const QString code = it.next().captured(1);
            if (code.contains(digit))
                return QString(code).replace(QChar(u'－'), QChar(u'-'));
        }
    }
    return {};
}

} // namespace zjx
