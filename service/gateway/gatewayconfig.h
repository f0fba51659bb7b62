#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace zjx::gateway {

// The service's configuration file: which back-end answers and its secrets.
struct GatewayConfig {
    QString path;             // the file read; empty when none was found and the defaults apply
    QString backend = "demo"; // demo | kuaidi100 | 17track | kdniao
    int cacheMinutes = 30;    // a provider's own minimum raises it
    QString phoneTail;        // four digits, for companies that ask for the phone's tail
    int timeoutSeconds = 20;  // per upstream request; the program itself waits 60 s

    QString kuaidi100Customer, kuaidi100Key;
    QUrl kuaidi100Url{QStringLiteral("https://poll.kuaidi100.com/poll/query.do")};
    QString track17Key;
    QUrl track17Url{QStringLiteral("https://api.17track.net/track/v2.2")};
    QString kdniaoBusinessId, kdniaoAppKey;
    int kdniaoRequestType = 1002; // 1002 the instant query, 8001 the paid real-time query
    QUrl kdniaoUrl{QStringLiteral("https://api.kdniao.com/Ebusiness/EbusinessOrderHandle.aspx")};

    // The secrets of the chosen back-end, for scrubbing log lines.
    QStringList secrets() const;
    // "" when the chosen back-end has what it needs, else which setting is missing.
    QString missingSecret() const;
};

struct ConfigResult {
    std::optional<GatewayConfig> config;
    QString error; // one clear sentence naming the file (and line) when config is empty
};

// ~/.config/zjx/zjx-service.conf ($XDG_CONFIG_HOME is honoured).
QString defaultConfigPath();

// Reads the file strictly: a line that is not a section, a "key = value" pair, a comment ("#" or
// ";") or blank is an error, as is a repeated key, an unknown back-end, a bad number or address.
// A missing default file gives the defaults (the demo back-end); a missing explicit file is an
// error. A file that group or others may read is refused, since it holds keys.
ConfigResult loadConfig(const QString& path, bool explicitPath);
// The same checks on text already read (the permission check aside); `path` names it in errors.
ConfigResult parseConfig(const QByteArray& text, const QString& path);

// https:// for any host; http:// only for loopback hosts (a local test double).
bool acceptableUrl(const QUrl& url, QString* why);

} // namespace zjx::gateway
