#include "serviceconfig/serviceconfig.h"

#include "core/regularfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zjx {

namespace {

struct ParsedLine {
    enum class Kind { Other, Section, Key } kind = Kind::Other;
    QString name; // section name or key
    QString value;
};

// Where a comment after a value begins (the white space before it included), or -1. The service
// reads a '#' or ';' after white space as a comment, except inside a value in double quotes; the
// same here, so a value reads as the service reads it. `from` is just after the '='.
template <typename Text> qsizetype inlineCommentAt(const Text& line, qsizetype from) {
    qsizetype i = from;
    while (i < line.size() && QChar(line[i]).isSpace())
        ++i;
    if (i < line.size() && line[i] == '"')
        if (const qsizetype close = line.indexOf('"', i + 1); close > 0)
            i = close + 1;
    for (; i < line.size(); ++i)
        if ((line[i] == '#' || line[i] == ';') && i > 0 && QChar(line[i - 1]).isSpace()) {
            while (i > from && QChar(line[i - 1]).isSpace())
                --i;
            return i;
        }
    return -1;
}

ParsedLine parse(const QByteArray& raw) {
    QString line = QString::fromUtf8(raw).trimmed();
    if (line.startsWith(QChar(0xFEFF)))
        line = line.mid(1).trimmed();
    if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
        return {};
    if (line.startsWith(u'[') && line.endsWith(u']'))
        return {ParsedLine::Kind::Section, line.mid(1, line.size() - 2).trimmed(), {}};
    const qsizetype eq = line.indexOf(u'=');
    if (eq <= 0)
        return {};
    const qsizetype comment = inlineCommentAt(line, eq + 1);
    QString value = line.mid(eq + 1, comment < 0 ? -1 : comment - eq - 1).trimmed();
    if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
        value = value.mid(1, value.size() - 2);
    return {ParsedLine::Kind::Key, line.left(eq).trimmed(), value};
}

bool isDigits(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// Keys are pasted from a provider's console: a space, a comment sign or a quote would change what
// the service reads, and a line break would add a line to the file.
bool plainSecret(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() > 0x20 && c.unicode() < 0x7F && c != u'#' && c != u';' && c != u'"' && c != u'\'';
    });
}

QString u8(const char* s) {
    return QString::fromUtf8(s);
}

} // namespace

QString ServiceConfigFile::defaultPath() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/zjx/zjx-service.conf");
}

bool ServiceConfigFile::load(const QString& path, QString* error) {
    const RegularFileRead file = readRegularFile(path);
    if (file.found == FileFound::Missing) {
        setText({});
        return true;
    }
    if (!file.ok()) {
        if (error)
            *error = file.problem;
        return false;
    }
    setText(file.bytes);
    return true;
}

void ServiceConfigFile::setText(const QByteArray& text) {
    m_lines = text.split('\n');
    m_finalNewline = text.isEmpty() || text.endsWith('\n');
    if (text.isEmpty() || m_finalNewline)
        m_lines.removeLast(); // the empty piece after the last line break
}

QByteArray ServiceConfigFile::text() const {
    QByteArray out = m_lines.join('\n');
    if (!m_lines.isEmpty() && m_finalNewline)
        out += '\n';
    return out;
}

int ServiceConfigFile::find(const QString& section, const QString& key, int* sectionEnd) const {
    QString current;
    int found = -1;
    if (sectionEnd)
        *sectionEnd = -1;
    for (int i = 0; i < m_lines.size(); ++i) {
        const ParsedLine p = parse(m_lines[i]);
        if (p.kind == ParsedLine::Kind::Section) {
            current = p.name;
            if (current == section && sectionEnd)
                *sectionEnd = i + 1;
        } else if (p.kind == ParsedLine::Kind::Key && current == section) {
            if (sectionEnd)
                *sectionEnd = i + 1;
            if (p.name == key)
                found = i;
        }
    }
    return found;
}

QString ServiceConfigFile::value(const QString& section, const QString& key) const {
    const int i = find(section, key);
    return i < 0 ? QString() : parse(m_lines[i]).value;
}

bool ServiceConfigFile::contains(const QString& section, const QString& key) const {
    return find(section, key) >= 0;
}

void ServiceConfigFile::setValue(const QString& section, const QString& key, const QString& value) {
    int sectionEnd = -1;
    const int i = find(section, key, &sectionEnd);
    QByteArray line = (key + QStringLiteral(" = ") + value).toUtf8();
    if (i >= 0) {
        // The comment on the line stays with the new value, and CR LF line ends stay too.
        QByteArray old = m_lines[i];
        const bool crlf = old.endsWith('\r');
        if (crlf)
            old.chop(1);
        if (const qsizetype comment = inlineCommentAt(old, old.indexOf('=') + 1); comment >= 0)
            line += old.mid(comment);
        if (crlf)
            line += '\r';
        m_lines[i] = line;
    } else if (sectionEnd >= 0) {
        m_lines.insert(sectionEnd, line);
    } else {
        if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty())
            m_lines.append(QByteArray());
        m_lines.append(('[' + section + ']').toUtf8());
        m_lines.append(line);
        m_finalNewline = true;
    }
}

ServiceSettings ServiceConfigFile::settings() const {
    ServiceSettings s;
    if (const QString b = value(QStringLiteral("gateway"), QStringLiteral("backend")); !b.isEmpty())
        s.backend = b;
    s.kuaidi100Customer = value(QStringLiteral("kuaidi100"), QStringLiteral("customer"));
    s.kuaidi100Key = value(QStringLiteral("kuaidi100"), QStringLiteral("key"));
    s.track17Key = value(QStringLiteral("17track"), QStringLiteral("key"));
    s.kdniaoBusinessId = value(QStringLiteral("kdniao"), QStringLiteral("business_id"));
    s.kdniaoAppKey = value(QStringLiteral("kdniao"), QStringLiteral("app_key"));
    if (const QString t = value(QStringLiteral("kdniao"), QStringLiteral("request_type")); !t.isEmpty())
        s.kdniaoRequestType = t;
    s.phoneTail = value(QStringLiteral("gateway"), QStringLiteral("phone_tail"));
    bool ok = false;
    if (const int n = value(QStringLiteral("gateway"), QStringLiteral("cache_minutes")).toInt(&ok); ok)
        s.cacheMinutes = n;
    return s;
}

void ServiceConfigFile::apply(const ServiceSettings& s) {
    const ServiceSettings defaults;
    const auto put = [this](const QString& section, const QString& key, const QString& value, const QString& dflt) {
        if (contains(section, key) ? value != this->value(section, key) : value != dflt)
            setValue(section, key, value);
    };
    put(QStringLiteral("gateway"), QStringLiteral("backend"), s.backend, defaults.backend);
    put(QStringLiteral("gateway"), QStringLiteral("phone_tail"), s.phoneTail, {});
    put(QStringLiteral("gateway"), QStringLiteral("cache_minutes"), QString::number(s.cacheMinutes),
        QString::number(defaults.cacheMinutes));
    put(QStringLiteral("kuaidi100"), QStringLiteral("customer"), s.kuaidi100Customer, {});
    put(QStringLiteral("kuaidi100"), QStringLiteral("key"), s.kuaidi100Key, {});
    put(QStringLiteral("17track"), QStringLiteral("key"), s.track17Key, {});
    put(QStringLiteral("kdniao"), QStringLiteral("business_id"), s.kdniaoBusinessId, {});
    put(QStringLiteral("kdniao"), QStringLiteral("app_key"), s.kdniaoAppKey, {});
    put(QStringLiteral("kdniao"), QStringLiteral("request_type"), s.kdniaoRequestType, defaults.kdniaoRequestType);
}

Result writePrivateFile(const QString& path, const QByteArray& bytes, const PrivateWriteCalls& calls) {
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    if (!QDir(folder).exists()) {
        if (!QDir().mkpath(folder))
            return Result::failure(QStringLiteral("无法创建文件夹 %1").arg(folder));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    } else {
        // The folder holds the provider keys: one an earlier version left open to others is closed.
        struct stat status {};
        const QByteArray name = QFile::encodeName(folder);
        if (::lstat(name.constData(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
            (status.st_mode & 077) != 0)
            ::chmod(name.constData(), status.st_mode & 0700);
    }
    const auto fail = [](const char* what) {
        return Result::failure(QString::fromUtf8(what) + QStringLiteral(" (") +
                               QString::fromLocal8Bit(std::strerror(errno)) + u')');
    };
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; attempt < 20 && fd < 0; ++attempt) {
        temp = QFile::encodeName(info.absoluteFilePath()) + ".tmp" +
               QByteArray::number(QRandomGenerator::global()->generate(), 16);
        // The mode is given at creation: the file is never readable by others, not even empty.
        fd = calls.open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0 && errno != EEXIST)
            return fail("无法创建临时文件");
    }
    if (fd < 0)
        return fail("无法创建临时文件");
    const auto abandon = [&](const char* what) {
        const Result r = fail(what);
        calls.close(fd);
        calls.unlink(temp.constData());
        return r;
    };
    // A umask cannot add bits, but an odd one could take the owner's: the mode is set exactly.
    if (calls.fchmod(fd, 0600) != 0)
        return abandon("无法设置文件权限");
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = calls.write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return abandon("写入失败");
        written += n;
    }
    if (calls.fsync(fd) != 0)
        return abandon("写入失败");
    if (calls.close(fd) != 0) {
        calls.unlink(temp.constData());
        return fail("写入失败");
    }
    if (calls.rename(temp.constData(), QFile::encodeName(info.absoluteFilePath()).constData()) != 0) {
        const Result r = fail("无法替换文件");
        calls.unlink(temp.constData());
        return r;
    }
    return Result::success();
}

bool configTooOpen(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && (st.st_mode & 077) != 0;
}

int minimumCacheMinutes(const QString& backend) {
    return backend == u"kuaidi100" ? 30 : 1;
}

QList<FieldProblem> validate(const ServiceSettings& s) {
    QList<FieldProblem> problems;
    const auto secret = [&](const QString& key, const QString& value, const QString& what) {
        if (value.trimmed().isEmpty())
            problems.append({key, QStringLiteral("请填写") + what});
        else if (!plainSecret(value))
            problems.append({key, what + u8("只能由字母、数字和符号组成,不能有空格、#、;、引号")});
    };
    if (s.backend == u"kuaidi100") {
        secret(QStringLiteral("customer"), s.kuaidi100Customer, u8("授权码页面上的 customer"));
        secret(QStringLiteral("key"), s.kuaidi100Key, u8("授权 key"));
    } else if (s.backend == u"17track") {
        secret(QStringLiteral("key"), s.track17Key, u8("密钥 key"));
    } else if (s.backend == u"kdniao") {
        secret(QStringLiteral("business_id"), s.kdniaoBusinessId, u8("用户 ID"));
        secret(QStringLiteral("app_key"), s.kdniaoAppKey, u8("API key"));
        if (s.kdniaoRequestType != u"1002" && s.kdniaoRequestType != u"8001")
            problems.append({QStringLiteral("request_type"), u8("请求指令只能是 1002 或 8001")});
    } else if (s.backend != u"demo") {
        problems.append({QStringLiteral("backend"), u8("请选择查询服务")});
    }
    if (!s.phoneTail.isEmpty() && (s.phoneTail.size() != 4 || !isDigits(s.phoneTail)))
        problems.append({QStringLiteral("phone_tail"), u8("手机尾号须为 4 位数字,不用时留空")});
    const int least = minimumCacheMinutes(s.backend);
    if (s.cacheMinutes < least)
        problems.append({QStringLiteral("cache_minutes"), u8("缓存时间至少 %1 分钟").arg(least)});
    else if (s.cacheMinutes > 100000)
        problems.append({QStringLiteral("cache_minutes"), u8("缓存时间最多 100000 分钟")});
    return problems;
}

CheckVerdict checkVerdict(const QByteArray& output, const QByteArray& errors, const QString& phoneTail) {
    QString verdict, latest, message;
    for (const QByteArray& raw : output.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u"verdict: "))
            verdict = line.mid(9).trimmed();
        else if (line.startsWith(u"latest: "))
            latest = line.mid(8).trimmed();
        else if (line.startsWith(u"message: "))
            message = line.mid(9).trimmed();
    }
    if (verdict.isEmpty()) {
        QString why;
        for (const QByteArray& raw : errors.split('\n'))
            if (const QString line = QString::fromUtf8(raw).trimmed(); !line.isEmpty())
                why = line;
        if (why.startsWith(u"zjx-service: "))
            why.remove(0, 13);
        return {false, why.isEmpty() ? u8("检查未能完成") : u8("检查未能完成:查询服务不接受这些设置"), why};
    }
    const QString word = verdict.section(u' ', 0, 0);
    const QString detail = verdict.section(u' ', 1);
    if (word == u"events")
        return {true, u8("找到 %1 条物流信息,最新:%2").arg(detail, latest)};
    if (word == u"notfound" && detail == u"needs-8001")
        return {true, u8("无此单号记录:快递鸟即时查询(1002)只查得到经快递鸟下单的顺丰单号,其他顺丰单号请把请求指令改为 8001")};
    if (word == u"notfound")
        return {true, u8("无此单号记录")};
    if (word == u"badnumber")
        return {true, u8("单号格式错误")};
    if (word == u"unsupported")
        return {true, u8("该服务商不支持此快递公司")};
    if (word == u"empty")
        return {true, u8("服务商没有返回内容")};
    if (word == u"marker")
        return {true, u8("服务商的回答无法显示")};
    if (word == u"company")
        return {false, u8("不认识的快递公司")};
    QString text;
    if (detail == u"bad-key" || detail == u"signature" || detail == u"no-key")
        text = u8("密钥错误");
    else if (detail == u"quota")
        text = u8("额度已用完");
    else if (detail == u"account")
        text = u8("服务商拒绝了此账号:请检查密钥和剩余额度");
    else if (detail == u"rate-limit")
        text = u8("查询太频繁,请稍后再检查");
    else if (detail == u"phone-tail")
        text = phoneTail.isEmpty() ? u8("需要手机尾号:请填写收件人或寄件人手机号码的后四位")
                                   : u8("手机尾号 %1 不对:请改为收件人或寄件人手机号码的后四位").arg(phoneTail);
    else if (detail == u"network" || detail == u"timeout")
        text = u8("无法连接服务商");
    else if (detail == u"tls")
        text = u8("证书无效");
    else
        text = u8("服务商暂时不可用");
    return {false, text, message.isEmpty() ? QStringLiteral("verdict: ") + verdict : message};
}

QString reasonHint(const QString& word, const QString& phoneTail) {
    if (word == u"bad-key" || word == u"signature")
        return u8("查询服务:密钥错误,请在查询服务设置中检查");
    if (word == u"no-key")
        return u8("查询服务:缺少密钥,请在查询服务设置中填写");
    if (word == u"quota")
        return u8("查询服务:额度已用完");
    if (word == u"account")
        return u8("查询服务:服务商拒绝了此账号,请在查询服务设置中检查密钥和额度");
    if (word == u"rate-limit")
        return u8("查询服务:查询太频繁,请稍后重试");
    if (word == u"network" || word == u"timeout")
        return u8("查询服务:无法连接服务商,请检查网络");
    if (word == u"tls")
        return u8("查询服务:服务商的证书无效");
    if (word == u"phone-tail")
        return phoneTail.isEmpty()
                   ? u8("查询服务:此快递需要手机尾号,请在查询服务设置中填写")
                   : u8("查询服务:手机尾号 %1 不对,请在查询服务设置中改为收件人或寄件人手机号码的后四位")
                         .arg(phoneTail);
    if (word == u"provider")
        return u8("查询服务:服务商暂时不可用,请稍后重试");
    return {};
}

bool settingsAnswer(const QString& word, const ServiceSettings& before, const ServiceSettings& now) {
    if (before.backend != now.backend)
        return true;
    if (word == u"phone-tail")
        return before.phoneTail != now.phoneTail;
    if (word == u"bad-key" || word == u"signature" || word == u"no-key" || word == u"account" || word == u"quota") {
        ServiceSettings keysBefore = before, keysNow = now;
        keysBefore.phoneTail = keysNow.phoneTail; // every other field belongs to a provider's account
        keysBefore.cacheMinutes = keysNow.cacheMinutes;
        return keysBefore != keysNow;
    }
    return false;
}

QString backendCaption(const QString& backend) {
    if (backend == u"demo")
        return u8("演示数据");
    if (backend == u"kuaidi100")
        return u8("快递100");
    if (backend == u"17track")
        return u8("17TRACK");
    if (backend == u"kdniao")
        return u8("快递鸟");
    return u8("外部服务");
}

QString staleHint(const QString& fetchedIso) {
    const QDateTime fetched = QDateTime::fromString(fetchedIso, Qt::ISODate);
    if (!fetched.isValid())
        return {};
    return u8("查询完毕...(服务商暂不可用,显示 %1 的结果)").arg(fetched.toLocalTime().toString(u"HH:mm"));
}

} // namespace zjx
