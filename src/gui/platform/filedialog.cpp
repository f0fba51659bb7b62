#include "gui/platform/filedialog.h"

#include <QFileDialog>
#include <utility>

namespace zjx {
namespace {

FileDialog::Handler& handler() {
    static FileDialog::Handler h;
    return h;
}

} // namespace

QString FileDialog::getSaveFileName(QWidget* parent, const QString& suggestedPath, const QString& filter) {
    if (handler())
        return handler()(suggestedPath, filter);
    return QFileDialog::getSaveFileName(parent, QString(), suggestedPath, filter);
}

void FileDialog::setHandler(Handler h) {
    handler() = std::move(h);
}

} // namespace zjx
