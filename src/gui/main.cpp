#include "background/closechoice.h"
#include "book/store.h"
#include "gui/backgroundtray.h"
#include "gui/identity.h"
#include "gui/mainwindow.h"
#include "platform/endsignals.h"
#include "platform/environment.h"
#include "platform/gatewaychild.h"
#include "platform/singleinstance.h"

#include <QApplication>
#include <QEvent>
#include <QLibraryInfo>
#include <QScreen>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <functional>
#include <utility>

namespace {

// Runs an action once from the event loop, right after a widget has painted for the first time,
// or after `latestMs` if no paint comes (a window that starts hidden).
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget* widget, int latestMs, std::function<void()> action)
        : QObject(widget), m_widget(widget), m_action(std::move(action)) {
        widget->installEventFilter(this);
        QTimer::singleShot(latestMs, this, &AfterFirstPaint::fire);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_widget && event->type() == QEvent::Paint)
            QTimer::singleShot(0, this, &AfterFirstPaint::fire); // once this paint is done
        return false;
    }

private:
    void fire() {
        if (!m_action)
            return;
        m_widget->removeEventFilter(this);
        std::exchange(m_action, nullptr)();
    }

    QWidget* m_widget;
    std::function<void()> m_action;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    zjx::applyProgramIdentity();

    // `--background` (the start at login): no window, the watch on, the tray icon.
    const bool background = QCoreApplication::arguments().contains(QStringLiteral("--background"));
    // `--overview`: the overview of every parcel opens beside the main window.
    const bool overview = QCoreApplication::arguments().contains(QStringLiteral("--overview"));
    // A second program on the same book only tells the first what it was started for.
    zjx::SingleInstance instance(QStringLiteral("cn.tansoft.zjx"), zjx::Store::locate(zjx::ProgramFolder::path()));
    if (!instance.claim()) {
        if (zjx::chooseStart(background, true, false) == zjx::StartAction::LeaveOtherAlone) {
            std::fprintf(stderr, "zjx: already running; --background leaves it as it is\n");
            return 0;
        }
        if (!instance.tellOther(overview ? QStringLiteral("overview") : QStringLiteral("raise")))
            std::fprintf(stderr, "zjx: another zjx is running but does not answer\n");
        return 0;
    }

    // Without a configured tracking host the program brings its own service. It starts once the
    // window has painted (on a busy machine its start-up would otherwise slow the window's); its
    // port is in long before the version check, and a request before that starts it and waits.
    zjx::GatewayChild gateway;
    if (!zjx::Settings::trackingHostConfigured())
        gateway.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/zjx-service"));

    // Qt's own buttons and dialogs speak Chinese like the rest of the window, whatever the locale.
    QTranslator qtTranslator;
    if (qtTranslator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    // Ended by the system or the session: out through the ordinary way, which saves what the
    // window holds (the window goes before this guard).
    zjx::EndSignals endSignals;
    QObject::connect(&endSignals, &zjx::EndSignals::received, [] { zjx::ProgramEnd::now(); });
    zjx::MainWindow window;
    if (gateway.hasProgram()) {
        window.useGateway(&gateway);
        new AfterFirstPaint(&window, 300, [&gateway] { gateway.start(); });
    }
    // Also out of sight behind the tray icon.
    QObject::connect(&instance, &zjx::SingleInstance::commandReceived, &window,
                     [&window](const QString& command) { window.followLaterStart(command); });
    // Centred on the screen, also where no window manager places it.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    if (background)
        window.backgroundTray().startHidden();
    else
        window.show();
    if (overview)
        window.openOverview();
    return app.exec();
}
