#include "platform/environment.h"

#include <QCoreApplication>
#include <QDir>

namespace zjx {
namespace {

QString fromEnv(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

QString folderOverride;
std::function<QDateTime()> clockOverride;
std::function<void()> endHandler;

} // namespace

Settings Settings::fromEnvironment(const QString& localService) {
    // The forum, feedback and home entries open short pages of the local service.
    const QString local = QStringLiteral("http://") + localService;
    Settings s;
    s.trackingHost = fromEnv("ZJX_TRACKING_HOST", localService);
    s.softwareSiteUrl = fromEnv("ZJX_SOFTWARE_SITE", QStringLiteral("http://") + localService);
    s.branchHost = fromEnv("ZJX_BRANCH_HOST", localService);
    s.forumSiteUrl = fromEnv("ZJX_FORUM_SITE", local + QStringLiteral("/forum"));
    s.feedbackSiteUrl = fromEnv("ZJX_FEEDBACK_SITE", local + QStringLiteral("/feedback"));
    s.homeSiteUrl = fromEnv("ZJX_HOME_SITE", local + QStringLiteral("/home"));
    return s;
}

bool Settings::trackingHostConfigured() {
    return !qEnvironmentVariable("ZJX_TRACKING_HOST").isEmpty();
}

QString ProgramFolder::path() {
    QString folder = folderOverride.isEmpty() ? QCoreApplication::applicationDirPath() : folderOverride;
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    return folder;
}

void ProgramFolder::setOverride(const QString& folder) {
    folderOverride = folder;
}

QDateTime Clock::now() {
    return clockOverride ? clockOverride() : QDateTime::currentDateTime();
}
void Clock::setOverride(std::function<QDateTime()> source) {
    clockOverride = std::move(source);
}

void ProgramEnd::now() {
    if (endHandler) {
        endHandler();
        return;
    }
    QCoreApplication::exit(0);
}

void ProgramEnd::setHandler(std::function<void()> handler) {
    endHandler = std::move(handler);
}

} // namespace zjx
