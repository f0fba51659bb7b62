#include "gatewayconfig.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace zjx::gateway {

namespace {

const char* const kBackends[] = {"demo", "kuaidi100", "17track", "kdniao"};
const char* const kSections[] = {"gateway", "kuaidi100", "17track", "kdniao"};

// The providers' settings that are taken as they stand ...
struct TextKey {
    const char* section;
    const char* key;
    QString GatewayConfig::*field;
};
const TextKey kTextKeys[] = {
    {"kuaidi100", "customer", &GatewayConfig::kuaidi100Customer},
    {"kuaidi100", "key", &GatewayConfig::kuaidi100Key},
    {"17track", "key", &GatewayConfig::track17Key},
    {"kdniao", "business_id", &GatewayConfig::kdniaoBusinessId},
    {"kdniao", "app_key", &GatewayConfig::kdniaoAppKey},
};

// ... and each provider's address, its key "url".
struct UrlKey {
    const char* section;
    QUrl GatewayConfig::*field;
};
const UrlKey kUrlKeys[] = {
    {"kuaidi100", &GatewayConfig::kuaidi100Url},
    {"17track", &GatewayConfig::track17Url},
    {"kdniao", &GatewayConfig::kdniaoUrl},
};

QString where(const QString& path, int line) {
    return QStringLiteral("%1:%2").arg(path).arg(line);
}

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// `line` cut before a comment that follows whitespace at or after `from`; a value that starts with
// a double quote keeps everything up to its closing quote.
QString withoutComment(const QString& line, qsizetype from) {
    qsizetype i = from;
    while (i < line.size() && line[i].isSpace())
        ++i;
    if (i < line.size() && line[i] == u'"') {
        const qsizetype close = line.indexOf(u'"', i + 1);
        if (close > 0)
            i = close + 1;
    }
    for (; i < line.size(); ++i)
        if ((line[i] == u';' || line[i] == u'#') && i > 0 && line[i - 1].isSpace())
            return line.left(i).trimmed();
    return line;
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
    bool sectionKnown = false;
    const QList<QByteArray> lines = text.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        QString line = QString::fromUtf8(lines[i]).trimmed();
        if (lineNo == 1 && line.startsWith(QChar(0xFEFF)))
            line = line.mid(1).trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            line = withoutComment(line, 0);
            if (!line.endsWith(u']') || line.size() < 3)
                return {std::nullopt, where(path, lineNo) + QStringLiteral(": a section line looks like [name]")};
            section = line.mid(1, line.size() - 2).trimmed();
            sectionKnown = std::any_of(std::begin(kSections), std::end(kSections),
                                       [&](const char* name) { return section == QLatin1String(name); });
            if (!sectionKnown)
                c.warnings << where(path, lineNo) + QStringLiteral(": unknown section [%1] (ignored)").arg(section);
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            return {std::nullopt, where(path, lineNo) + QStringLiteral(": expected \"key = value\"")};
        if (section.isEmpty())
            return {std::nullopt, where(path, lineNo) + QStringLiteral(": a key before the first [section]")};
        const QString key = line.left(eq).trimmed();
        QString value = withoutComment(line, eq + 1).mid(eq + 1).trimmed();
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
        const auto textKey = std::find_if(std::begin(kTextKeys), std::end(kTextKeys), [&](const TextKey& k) {
            return section == QLatin1String(k.section) && key == QLatin1String(k.key);
        });
        const auto urlKey = std::find_if(std::begin(kUrlKeys), std::end(kUrlKeys), [&](const UrlKey& k) {
            return section == QLatin1String(k.section) && key == u"url";
        });
        bool knownKey = true;
        if (textKey != std::end(kTextKeys)) {
            c.*(textKey->field) = value;
        } else if (urlKey != std::end(kUrlKeys)) {
            if (auto e = readUrl(c.*(urlKey->field)))
                return *e;
        } else if (section == u"gateway") {
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
            } else {
                knownKey = false;
            }
        } else if (section == u"kdniao" && key == u"request_type") {
            if (value != u"1002" && value != u"8001")
                return bad(QStringLiteral("must be 1002 (instant query) or 8001 (real-time query)"));
            c.kdniaoRequestType = value.toInt();
        } else {
            knownKey = !sectionKnown; // an unknown section was named once, at its own line
        }
        if (!knownKey)
            c.warnings << where(path, lineNo) + QStringLiteral(": unknown key [%1] %2 (ignored)").arg(section, key);
    }
    return {c, {}};
}

ConfigResult loadConfig(const QString& path, bool explicitPath) {
    const auto fail = [&](const QString& why) { return ConfigResult{std::nullopt, path + QStringLiteral(": ") + why}; };
    // Opened first and every check made on the open file, so the file checked is the file read.
    // O_NONBLOCK: a FIFO put in its place must not hang the start.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (!explicitPath && errno == ENOENT)
            return {GatewayConfig{}, {}};
        return fail(QStringLiteral("cannot read the configuration file (%1)").arg(errorText(errno)));
    }
    const struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return fail(QStringLiteral("cannot read the configuration file (%1)").arg(errorText(errno)));
    if (!S_ISREG(st.st_mode))
        return fail(QStringLiteral("is not a regular file"));
    if (st.st_uid != ::geteuid())
        return fail(QStringLiteral("belongs to another user (uid %1), who could send the provider keys elsewhere; "
                                   "zjx-service reads only a configuration file of its own user (uid %2)")
                        .arg(st.st_uid)
                        .arg(::geteuid()));
    if (st.st_mode & 077)
        return fail(QStringLiteral("group or other users have rights on this file (mode %1), and it holds provider "
                                   "keys; zjx-service refuses it. Make it private with: chmod 600 %2")
                        .arg(st.st_mode & 0777, 3, 8, QChar(u'0'))
                        .arg(path));
    const auto tooLarge = [&] {
        return fail(
            QStringLiteral("is larger than %1 KiB; a configuration file is a few lines").arg(kMaxConfigBytes / 1024));
    };
    if (st.st_size > kMaxConfigBytes)
        return tooLarge();
    QByteArray text;
    char buffer[4096];
    for (;;) { // at most one byte past the limit, in case the file grew since fstat
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(QStringLiteral("cannot read the configuration file (%1)").arg(errorText(errno)));
        if (n == 0)
            break;
        text.append(buffer, n);
        if (text.size() > kMaxConfigBytes)
            return tooLarge();
    }
    return parseConfig(text, path);
}

} // namespace zjx::gateway
