#pragma once

#include <QString>

class QWidget;

namespace zjx {

// The save dialog. Tests script the next chosen name (an empty name means cancelled).
class FileDialog {
public:
    static QString getSaveFileName(QWidget* parent, const QString& suggestedPath, const QString& filter);

    static void setNextFileName(const QString& name);
    static void clearNextFileName();
    static int timesShown(); // for tests: how often the dialog was asked for
    static QString lastSuggestedPath();
};

} // namespace zjx
