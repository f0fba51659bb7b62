#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace zjx {

// The save and open dialogs; an empty name means cancelled. A handler can stand in for it (tests script
// the chosen name).
class FileDialog {
public:
    // `defaultSuffix` (without the dot) is added by the dialog to a name typed without one.
    static QString getSaveFileName(QWidget* parent, const QString& suggestedPath, const QString& filter,
                                   const QString& defaultSuffix = QString());

    // The open dialog for an existing file; the same handler stands in for it.
    static QString getOpenFileName(QWidget* parent, const QString& folder, const QString& filter);

    using Handler = std::function<QString(const QString& suggestedPath, const QString& filter)>;
    static void setHandler(Handler handler); // empty restores the real dialog
};

} // namespace zjx
