#include "core/versioncheck.h"

#include "core/textutil.h"

namespace zjx {

VersionCheck::Outcome VersionCheck::decide(const QString& body, const QString& ownVersion) {
    if (body.isEmpty())
        return Outcome::Unreadable;
    return body == ownVersion ? Outcome::Current : Outcome::Other;
}

QString VersionCheck::noticeText(const QString& body) {
    // However long the body, the notice keeps its closing bracket and its last line.
    return QStringLiteral("发现最新版本![") + readableText(body, readableChars - 64, readableLines - 4) +
           QStringLiteral("]\r\n \r\n确定后自动打开官方论坛!");
}

} // namespace zjx
