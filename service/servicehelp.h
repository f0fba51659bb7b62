#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace zjx::service {

// What --help prints and what "/" answers: flags, requests, sample numbers and branch names.
QString helpText();

// The paths of the short pages the program opens in the browser instead of the maker's sites
// (forum, feedback, home): what the program is, where its documents are, how to report a problem.
QList<QByteArray> localPagePaths();
// The page for one of those paths (UTF-8 HTML, nothing taken from the request), empty for others.
QByteArray localPage(const QByteArray& path);

} // namespace zjx::service
