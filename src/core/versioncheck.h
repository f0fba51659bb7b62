#pragma once

#include <QString>

namespace zjx {

// The start-up check of the program's version against the version file on the maker's site.
class VersionCheck {
public:
    enum class Outcome {
        Unreadable, // no body: warn, then work normally
        Current,    // the body is exactly the program's own version text
        Other,      // anything else, an error page included: announce it and end
    };

    static QString filePath() { return QStringLiteral("/tansoftjc/zjx/jc.txt"); }

    // Compares the whole body with the own version text: no trimming, case counts.
    static Outcome decide(const QString& body, const QString& ownVersion);

    static QString failureText() { return QStringLiteral("检测更新失败!请您稍后再试,暂时使用原版"); }
    // The notice of another version, with the body shown between the brackets.
    static QString noticeText(const QString& body);
};

} // namespace zjx
