#include "shell/mainwindow.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zjx"));
    QApplication::setApplicationDisplayName(QStringLiteral("踪迹匣"));
    QApplication::setOrganizationName(QStringLiteral("zjx"));

    // Qt's own buttons and dialogs speak Chinese like the rest of the window, whatever the locale.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    zjx::MainWindow window;
    window.show();
    return app.exec();
}
