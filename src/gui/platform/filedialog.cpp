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

QString FileDialog::getSaveFileName(QWidget* parent, const QString& suggestedPath, const QString& filter,
                                    const QString& defaultSuffix) {
    if (handler())
        return handler()(suggestedPath, filter);
    // Built by hand for the default suffix, which the static getter cannot take; the suffix is then
    // part of the name the replace question is asked about.
    QFileDialog dialog(parent, QString(), suggestedPath, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

void FileDialog::setHandler(Handler h) {
    handler() = std::move(h);
}

} // namespace zjx
