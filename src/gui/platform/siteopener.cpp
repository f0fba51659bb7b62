#include "gui/platform/siteopener.h"

#include <QDesktopServices>
#include <QUrl>

namespace zjx {

void SiteOpener::open(const QString& address) {
    QDesktopServices::openUrl(QUrl(address));
}

} // namespace zjx
