#pragma once

#include "core/result.h"

#include <QByteArray>
#include <QString>

namespace zjx {

// The freedesktop autostart entry that starts the program at login, out of sight with the watch on:
// `cn.tansoft.zjx.desktop` in `$XDG_CONFIG_HOME/autostart` (~/.config/autostart by default).
class AutostartEntry {
public:
    static constexpr const char* backgroundOption = "--background";

    // The folder for `configHome` (the value of XDG_CONFIG_HOME, which counts only when absolute)
    // and `home`.
    static QString folder(const QString& configHome, const QString& home);
    static QString folderFromEnvironment();
    static QString path() { return folderFromEnvironment() + QStringLiteral("/cn.tansoft.zjx.desktop"); }

    // The command line for `program` (an absolute path): its bare name when `onPath`, the program
    // the PATH finds by that name, is the same file; else the path, quoted where the launcher
    // needs it. Empty for a path no launcher can name (not UTF-8, control characters).
    static QString command(const QString& program, const QString& onPath);
    // One argument as an Exec line holds it, after the line's own escapes of a string value.
    static QString execArgument(const QString& argument);
    // The whole entry for the command line.
    static QByteArray text(const QString& command);

    // Whether the entry at `path` starts this program at login in the background: it is there,
    // runs with `--background`, and neither the launcher's own switch nor Hidden turns it off.
    static bool isOn(const QString& path);
    // Writes the entry for `program` at `path` (its folder made if missing), or removes it.
    static Result write(const QString& path, const QString& program, const QString& onPath);
    static Result remove(const QString& path);
};

} // namespace zjx
