#include "background/autostart.h"

#include "core/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace zjx {
namespace {

// Characters after which a launcher would split or expand an unquoted argument.
const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#`");

// A string value's own escapes, undone by the reader before it looks at the quoting.
QString escapedValue(const QString& value) {
    QString out;
    for (const QChar c : value) {
        if (c == u'\\')
            out += QStringLiteral("\\\\");
        else if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else
            out += c;
    }
    return out;
}

QString valueOf(const QStringList& lines, const QString& key) {
    for (const QString& line : lines) {
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0 && line.left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return {};
}

} // namespace

QString AutostartEntry::folder(const QString& configHome, const QString& home) {
    // A relative XDG_CONFIG_HOME is invalid and ignored, as every desktop does.
    const QString base = QDir::isAbsolutePath(configHome) ? configHome : home + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/autostart"));
}

QString AutostartEntry::folderFromEnvironment() {
    return folder(qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath());
}

QString AutostartEntry::execArgument(const QString& argument) {
    QString quoted;
    bool mustQuote = argument.isEmpty();
    for (const QChar c : argument) {
        if (reserved.contains(c))
            mustQuote = true;
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    // A percent sign would be read as a field code such as %f.
    quoted.replace(u'%', QStringLiteral("%%"));
    if (mustQuote)
        quoted = u'"' + quoted + u'"';
    return escapedValue(quoted);
}

QString AutostartEntry::command(const QString& program, const QString& onPath) {
    // A name that is not UTF-8 came in as replacement characters and would name another file.
    for (const QChar c : program)
        if (c == QChar::ReplacementCharacter || (c.category() == QChar::Other_Control && c != u'\t'))
            return {};
    if (!QDir::isAbsolutePath(program))
        return {};
    const bool found = !onPath.isEmpty() &&
                       QFileInfo(onPath).canonicalFilePath() == QFileInfo(program).canonicalFilePath() &&
                       !QFileInfo(program).canonicalFilePath().isEmpty();
    // The name alone follows the program when a new version is installed elsewhere on the PATH.
    return (found ? QFileInfo(onPath).fileName() : execArgument(program)) + u' ' + QLatin1String(backgroundOption);
}

QByteArray AutostartEntry::text(const QString& command) {
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Version=1.4\n"
                                         "Name=踪迹匣\n"
                                         "Comment=登录时自动启动并在后台跟踪快递\n"
                                         "Exec=%1\n"
                                         "Icon=cn.tansoft.zjx\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(command);
    return entry.toUtf8();
}

bool AutostartEntry::isOn(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QStringList group;
    bool inEntry = false;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'['))
            inEntry = trimmed == QStringLiteral("[Desktop Entry]");
        else if (inEntry)
            group << trimmed;
    }
    const QStringList arguments = valueOf(group, QStringLiteral("Exec")).split(u' ', Qt::SkipEmptyParts);
    return arguments.contains(QLatin1String(backgroundOption)) && valueOf(group, QStringLiteral("Hidden")) != u"true" &&
           valueOf(group, QStringLiteral("X-GNOME-Autostart-enabled")) != u"false";
}

Result AutostartEntry::write(const QString& path, const QString& program, const QString& onPath) {
    const QString line = command(program, onPath);
    if (line.isEmpty())
        return Result::failure(QStringLiteral("程序所在的路径无法写进自启动项:") + program);
    // A new folder under the user's configuration is theirs alone.
    if (!makePrivateFolder(QFileInfo(path).absolutePath()))
        return Result::failure(QStringLiteral("无法创建文件夹 ") + QFileInfo(path).absolutePath());
    const Result written = writeFileAtomically(path, text(line), FileAccess::UmaskDefault);
    if (!written.ok())
        return Result::failure(QStringLiteral("无法写入 ") + path + QStringLiteral(":") + written.errorText());
    return written;
}

Result AutostartEntry::remove(const QString& path) {
    QFile file(path);
    if (!file.exists() || file.remove())
        return Result::success();
    return Result::failure(QStringLiteral("无法删除 ") + path + QStringLiteral(":") + file.errorString());
}

} // namespace zjx
