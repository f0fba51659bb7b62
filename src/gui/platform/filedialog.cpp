#include "gui/platform/filedialog.h"

#include <QFileDialog>
#include <optional>

namespace zjx {
namespace {

std::optional<QString> nextName;
int shownCount = 0;
QString lastSuggested;

} // namespace

QString FileDialog::getSaveFileName(QWidget* parent, const QString& suggestedPath, const QString& filter) {
    ++shownCount;
    lastSuggested = suggestedPath;
    if (nextName) {
        const QString name = *nextName;
        nextName.reset();
        return name;
    }
    return QFileDialog::getSaveFileName(parent, QString(), suggestedPath, filter);
}

void FileDialog::setNextFileName(const QString& name) {
    nextName = name;
}
void FileDialog::clearNextFileName() {
    nextName.reset();
}
int FileDialog::timesShown() {
    return shownCount;
}
QString FileDialog::lastSuggestedPath() {
    return lastSuggested;
}

} // namespace zjx
