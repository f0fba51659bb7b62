#include "core/versioncheck.h"

namespace zjx {

VersionCheck::Outcome VersionCheck::decide(const QString& body, const QString& ownVersion) {
    if (body.isEmpty())
        return Outcome::Unreadable;
    return body == ownVersion ? Outcome::Current : Outcome::Other;
}

QString VersionCheck::noticeText(const QString& body) {
    return QStringLiteral("发现最新版本![") + body + QStringLiteral("]\r\n \r\n确定后自动打开官方论坛!");
}

} // namespace zjx
