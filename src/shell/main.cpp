#include "shell/mainwindow.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zjx"));
    QApplication::setApplicationDisplayName(QStringLiteral("踪迹匣"));
    QApplication::setOrganizationName(QStringLiteral("zjx"));
    QGuiApplication::setDesktopFileName(QStringLiteral("zjx"));

    // Qt's own buttons and dialogs speak Chinese like the rest of the window, whatever the locale.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    zjx::MainWindow window;
    // Centred on the screen, also where no window manager places it.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    return app.exec();
}
