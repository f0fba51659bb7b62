#include "platform/environment.h"
#include "platform/gatewaychild.h"
#include "platform/singleinstance.h"
#include "shell/mainwindow.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zjx"));
    QApplication::setApplicationDisplayName(QStringLiteral("踪迹匣"));
    QApplication::setOrganizationName(QStringLiteral("zjx"));
    // The launcher's name: desktop shells match the window to cn.tansoft.zjx.desktop by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("cn.tansoft.zjx"));

    // A second program of the same user only brings the first one's window forward.
    zjx::SingleInstance instance(QStringLiteral("cn.tansoft.zjx"));
    if (!instance.claim()) {
        if (!instance.raiseOther())
            std::fprintf(stderr, "zjx: another zjx is running but does not answer\n");
        return 0;
    }

    // Without a configured tracking host the program brings its own service, started now so that
    // it comes up while the window is built.
    zjx::GatewayChild gateway;
    if (!zjx::Settings::trackingHostConfigured())
        gateway.start(QCoreApplication::applicationDirPath() + QStringLiteral("/zjx-service"));

    // Qt's own buttons and dialogs speak Chinese like the rest of the window, whatever the locale.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    zjx::MainWindow window;
    if (gateway.state() != zjx::GatewayChild::State::NotStarted)
        window.useGateway(&gateway);
    QObject::connect(&instance, &zjx::SingleInstance::raiseRequested, &window, [&window] {
        window.showNormal();
        window.raise();
        window.activateWindow();
    });
    // Centred on the screen, also where no window manager places it.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.show();
    return app.exec();
}
