#pragma once

#include <QDateTime>
#include <QString>
#include <functional>

namespace zjx {

// Host names and site addresses: defaults that point at the local service, each overridable by an
// environment variable.
struct Settings {
    QString trackingHost;    // host[:port] of the tracking service, ZJX_TRACKING_HOST
    QString softwareSiteUrl; // root of the maker's software site (version file), ZJX_SOFTWARE_SITE
    QString branchHost;      // host[:port] of the courier's web site (branch pages), ZJX_BRANCH_HOST
    QString forumSiteUrl;    // ZJX_FORUM_SITE
    QString feedbackSiteUrl; // ZJX_FEEDBACK_SITE
    QString homeSiteUrl;     // ZJX_HOME_SITE

    // The local service answers on `localService` (host:port): the fixed port that ./run.sh uses,
    // or the port the program's own service child took. It is the default of the tracking,
    // branch and software-site settings and the host of the forum, feedback and home pages; a
    // variable that is set still wins for each one.
    static QString defaultLocalService() { return QStringLiteral("127.0.0.1:18735"); }
    static Settings fromEnvironment(const QString& localService = defaultLocalService());
    // True when the tracking host is given, so the program needs no service of its own.
    static bool trackingHostConfigured();
};

// The folder that holds the executable (tests point it at a temporary folder).
class ProgramFolder {
public:
    static QString path();                          // without a trailing separator
    static void setOverride(const QString& folder); // empty restores the real one
};

// The local time as the timed query and the clock read it (tests set it).
class Clock {
public:
    static QDateTime now();
    static void setOverride(std::function<QDateTime()> source); // empty restores the real one
};

// Ending the program at once, without the farewell prompt (tests replace it).
class ProgramEnd {
public:
    static void now();
    static void setHandler(std::function<void()> handler); // empty restores the real one
};

} // namespace zjx
