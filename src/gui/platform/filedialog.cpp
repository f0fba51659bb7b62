#include "gui/platform/filedialog.h"

#include "gui/platform/seamhandler.h"

#include <QFileDialog>
#include <utility>

namespace zjx {

QString FileDialog::getSaveFileName(QWidget* parent, const QString& suggestedPath, const QString& filter,
                                    const QString& defaultSuffix) {
    if (seamHandler<FileDialog>())
        return seamHandler<FileDialog>()(suggestedPath, filter);
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

QString FileDialog::getOpenFileName(QWidget* parent, const QString& folder, const QString& filter) {
    if (seamHandler<FileDialog>())
        return seamHandler<FileDialog>()(folder, filter);
    return QFileDialog::getOpenFileName(parent, QString(), folder, filter);
}

void FileDialog::setHandler(Handler h) {
    seamHandler<FileDialog>() = std::move(h);
}

} // namespace zjx
