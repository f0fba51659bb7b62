#include "gatewayconfig.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <map>

namespace zjx::gateway {

namespace {

const char* const kBackends[] = {"demo", "kuaidi100", "17track", "kdniao"};

QString where(const QString& path, int line) {
    return QStringLiteral("%1:%2").arg(path).arg(line);
}

bool isLoopbackHost(const QString& host) {
    if (host.compare(u"localhost", Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

} // namespace

QStringList GatewayConfig::secrets() const {
    QStringList list;
    for (const QString& s : {kuaidi100Key, kuaidi100Customer, track17Key, kdniaoAppKey})
        if (!s.isEmpty())
            list << s;
    return list;
}

QString GatewayConfig::missingSecret() const {
    if (backend == u"kuaidi100") {
        if (kuaidi100Customer.isEmpty())
            return QStringLiteral("[kuaidi100] customer is not set");
        if (kuaidi100Key.isEmpty())
            return QStringLiteral("[kuaidi100] key is not set");
    } else if (backend == u"17track") {
        if (track17Key.isEmpty())
            return QStringLiteral("[17track] key is not set");
    } else if (backend == u"kdniao") {
        if (kdniaoBusinessId.isEmpty())
            return QStringLiteral("[kdniao] business_id is not set");
        if (kdniaoAppKey.isEmpty())
            return QStringLiteral("[kdniao] app_key is not set");
    }
    return {};
}

QString defaultConfigPath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/zjx/zjx-service.conf");
}

bool acceptableUrl(const QUrl& url, QString* why) {
    const auto fail = [&](const QString& text) {
        if (why)
            *why = text;
        return false;
    };
    if (!url.isValid() || url.host().isEmpty())
        return fail(QStringLiteral("is not a complete address"));
    if (url.scheme() == u"https")
        return true;
    if (url.scheme() == u"http")
        return isLoopbackHost(url.host()) ? true
                                          : fail(QStringLiteral("uses plain http:// for a host that is not loopback; "
                                                                "use https://"));
    return fail(QStringLiteral("must start with https://"));
}

ConfigResult parseConfig(const QByteArray& text, const QString& path) {
    GatewayConfig c;
    c.path = path;
    std::map<std::pair<QString, QString>, int> seen;
    QString section;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        QString line = QString::fromUtf8(lines[i]).trimmed();
        if (lineNo == 1 && line.startsWith(QChar(0xFEFF)))
            line = line.mid(1).trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']') || line.size() < 3)
                return {std::nullopt, where(path, lineNo) + QStringLiteral(": a section line looks like [name]")};
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            return {std::nullopt, where(path, lineNo) + QStringLiteral(": expected \"key = value\"")};
        if (section.isEmpty())
            return {std::nullopt, where(path, lineNo) + QStringLiteral(": a key before the first [section]")};
        const QString key = line.left(eq).trimmed();
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
            value = value.mid(1, value.size() - 2);
        if (!seen.try_emplace({section, key}, lineNo).second)
            return {std::nullopt, where(path, lineNo) + QStringLiteral(": [%1] %2 is set twice").arg(section, key)};

        const auto bad = [&](const QString& what) {
            return ConfigResult{std::nullopt,
                                where(path, lineNo) + QStringLiteral(": [%1] %2 %3").arg(section, key, what)};
        };
        const auto readUrl = [&](QUrl& out) -> std::optional<ConfigResult> {
            const QUrl url(value, QUrl::StrictMode);
            QString why;
            if (!acceptableUrl(url, &why))
                return bad(why);
            out = url;
            return std::nullopt;
        };
        if (section == u"gateway") {
            if (key == u"backend") {
                if (std::none_of(std::begin(kBackends), std::end(kBackends),
                                 [&](const char* name) { return value == QLatin1String(name); }))
                    return bad(QStringLiteral("must be demo, kuaidi100, 17track or kdniao"));
                c.backend = value;
            } else if (key == u"cache_minutes" || key == u"timeout_seconds") {
                bool ok = false;
                const int n = value.toInt(&ok);
                if (!ok || n < 1 || n > 100000)
                    return bad(QStringLiteral("must be a whole number from 1 to 100000"));
                (key == u"cache_minutes" ? c.cacheMinutes : c.timeoutSeconds) = n;
            } else if (key == u"phone_tail") {
                if (!value.isEmpty() && (value.size() != 4 || !std::all_of(value.begin(), value.end(), [](QChar ch) {
                                             return ch >= u'0' && ch <= u'9';
                                         })))
                    return bad(QStringLiteral("must be the last four digits of a phone number"));
                c.phoneTail = value;
            }
        } else if (section == u"kuaidi100") {
            if (key == u"customer")
                c.kuaidi100Customer = value;
            else if (key == u"key")
                c.kuaidi100Key = value;
            else if (key == u"url")
                if (auto e = readUrl(c.kuaidi100Url))
                    return *e;
        } else if (section == u"17track") {
            if (key == u"key")
                c.track17Key = value;
            else if (key == u"url")
                if (auto e = readUrl(c.track17Url))
                    return *e;
        } else if (section == u"kdniao") {
            if (key == u"business_id")
                c.kdniaoBusinessId = value;
            else if (key == u"app_key")
                c.kdniaoAppKey = value;
            else if (key == u"request_type") {
                if (value != u"1002" && value != u"8001")
                    return bad(QStringLiteral("must be 1002 (instant query) or 8001 (real-time query)"));
                c.kdniaoRequestType = value.toInt();
            } else if (key == u"url")
                if (auto e = readUrl(c.kdniaoUrl))
                    return *e;
        }
    }
    return {c, {}};
}

ConfigResult loadConfig(const QString& path, bool explicitPath) {
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &st) != 0) {
        if (!explicitPath && errno == ENOENT)
            return {GatewayConfig{}, {}};
        return {std::nullopt, path + QStringLiteral(": cannot read the configuration file (%1)")
                                         .arg(QString::fromLocal8Bit(std::strerror(errno)))};
    }
    if (!S_ISREG(st.st_mode))
        return {std::nullopt, path + QStringLiteral(": is not a regular file")};
    if (st.st_mode & (S_IRGRP | S_IROTH))
        return {std::nullopt,
                path + QStringLiteral(": other users can read this file, and it holds provider keys; zjx-service "
                                      "refuses it. Make it private with: chmod 600 %1")
                           .arg(path)};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt,
                path + QStringLiteral(": cannot read the configuration file (%1)").arg(file.errorString())};
    return parseConfig(file.readAll(), path);
}

} // namespace zjx::gateway
