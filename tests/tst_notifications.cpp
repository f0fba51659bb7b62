#include "gui/platform/alertplayer.h"
#include "gui/platform/desktopnotifier.h"
#include "gui/platform/messagebox.h"
#include "gui/statusstrips.h"
#include "support/datatable.h"
#include "support/scriptedseams.h"
#include "support/testserver.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using namespace zjx;
using namespace zjx::test;

namespace {

const QString notificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString notificationsName = QStringLiteral("org.freedesktop.Notifications");

// A session bus of the test's own, so nothing reaches the desktop and no installed notification
// daemon is started by activation: its configuration names no service folders.
class PrivateBus {
public:
    bool start() {
        const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                "<busconfig><type>session</type><listen>unix:dir=" +
                m_dir.path().toUtf8() +
                "</listen><auth>EXTERNAL</auth>"
                "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        f.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file=") + config, QStringLiteral("--print-address=1"),
                        QStringLiteral("--nofork")});
        if (!m_daemon.waitForReadyRead(5000))
            return false;
        address = QString::fromUtf8(m_daemon.readLine().trimmed());
        return !address.isEmpty();
    }
    ~PrivateBus() {
        m_daemon.terminate();
        m_daemon.waitForFinished(2000);
    }
    QString address;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
};

PrivateBus* privateBus = nullptr;

// Calls to the notification server on `bus`, one after the other: a bus keeps each connection's
// order, so once they are answered whatever the program sent before, and what it then sent on
// hearing back, has reached the server (or its error has come back and been handled).
bool roundTrips(const QDBusConnection& bus = QDBusConnection::sessionBus(), int times = 2) {
    for (int i = 0; i < times; ++i) {
        // Waited for as the program's own answers are: in order, on this thread.
        QDBusPendingCallWatcher watcher(bus.asyncCall(QDBusMessage::createMethodCall(
            notificationsName, notificationsPath, notificationsName, "GetCapabilities")));
        bool answered = false;
        QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, [&answered] { answered = true; });
        if (!QTest::qWaitFor([&answered] { return answered; }, 10000))
            return false;
    }
    return true;
}

// A notification server as the desktop has one, on its own connection to the private bus. It can be
// told to be absent (its name not on the bus) or to fail every call, and to serve again later.
class FakeNotificationServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString appName;
        uint replacesId;
        QString appIcon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout;
    };
    QList<Call> calls;
    QStringList capabilities{QStringLiteral("actions"), QStringLiteral("body"), QStringLiteral("body-markup")};

    enum class Mode { Serving, Absent, Failing };
    explicit FakeNotificationServer(Mode mode = Mode::Serving)
        : m_bus(QDBusConnection::connectToBus(privateBus->address, QStringLiteral("fake-notification-server"))),
          m_failing(mode == Mode::Failing) {
        m_bus.registerObject(notificationsPath, this, QDBusConnection::ExportAllSlots);
        if (mode != Mode::Absent)
            m_bus.registerService(notificationsName);
    }
    void serve() {
        m_failing = false;
        m_bus.registerService(notificationsName);
    }
    int failedCalls = 0;
    ~FakeNotificationServer() override {
        m_bus.unregisterService(notificationsName);
        m_bus.unregisterObject(notificationsPath);
    }

    void emitSignal(const QString& name, const QVariantList& arguments) {
        QDBusMessage signal = QDBusMessage::createSignal(notificationsPath, notificationsName, name);
        signal.setArguments(arguments);
        m_bus.send(signal);
    }

public Q_SLOTS:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int expireTimeout) {
        if (refused())
            return 0;
        calls.append({appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout});
        return replacesId != 0 ? replacesId : m_nextId++;
    }
    QStringList GetCapabilities() { return refused() ? QStringList() : capabilities; }

private:
    bool refused() {
        if (!m_failing)
            return false;
        ++failedCalls;
        sendErrorReply(QDBusError::Failed, QStringLiteral("told to fail"));
        return true;
    }
    QDBusConnection m_bus;
    bool m_failing = false;
    uint m_nextId = 41;
};

enum class Window { Active, BehindAnother, Minimised, Hidden };

const QByteArray book = TestServer::gbk(QStringLiteral("111|申通快递|书\r\n222|顺丰快递|鞋\r\n"));

const QStringList outForDelivery{QStringLiteral("已收件"), QStringLiteral("到达上海"),
                                 QStringLiteral("派件中 <快递员> 张三 & \"李四\"")};

// A window test with the parcel "鞋" chosen, `events` the answer of its server, its notices on the private bus.
struct Scene {
    explicit Scene(const QStringList& events = outForDelivery) : fx(server.hostPort()) {
        answer(events);
        test::QuietDesktop::uninstall();
        fx.writeStore(book);
        w = fx.makeWindow();
        parcelSelector(*w)->setCurrentIndex(1);
        // The loop query asks again every minute; each requery() is one of its minutes.
        w->schedulePanel().showLoopGroup();
        intervalBox(*w)->setCurrentText(QStringLiteral("1"));
        w->schedulePanel().toggleLoop();
    }
    void put(Window state) {
        switch (state) {
        case Window::Active:
        case Window::BehindAnother:
            w->show();
            w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w.get()));
            if (state == Window::BehindAnother) {
                other.show();
                other.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&other));
            }
            break;
        case Window::Minimised:
            w->showMinimized();
            QVERIFY(QTest::qWaitForWindowExposed(w.get()) || w->isMinimized());
            break;
        case Window::Hidden:
            break;
        }
    }
    // A re-query of the chosen parcel, as the loop query makes it, up to its verdict.
    void requery() {
        w->strips().setText(StatusStrips::Verdict, QString());
        w->requerySchedule().loopTick();
        // This answer's verdict, not the "未查询" of a parcel just switched to.
        QTRY_VERIFY(!w->strips().text(StatusStrips::Verdict).isEmpty() &&
                    w->strips().text(StatusStrips::Verdict) != QStringLiteral("未查询"));
    }
    // What the server answers from now on.
    void answer(const QStringList& events) { server.setResponse("/", {200, TestServer::trackingPage(events)}); }
    TestServer server;
    WindowFixture fx;
    std::unique_ptr<MainWindow> w;
    QWidget other;
};

} // namespace

Q_DECLARE_METATYPE(Window)
Q_DECLARE_METATYPE(FakeNotificationServer::Mode)

class TestNotifications : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { test::ScriptedBoxes::clearShown(); }

    void onlyNewsWhileAwayIsSent_data() {
        // seen: the user's own query showed the same answer before
        // summary empty: no notification
        addColumns<Window, bool, bool, QStringList, QString, int>("window", "manual", "seen", "progress", "summary",
                                                                  "chimes");

        const QString shoes = QStringLiteral("鞋 · 派件中");
        const QStringList signedFor{QStringLiteral("已收件"), QStringLiteral("已签收,签收人:本人")};
        dataRow("minimised, re-query with news", Window::Minimised, false, false, outForDelivery, shoes, 1);
        dataRow("behind another window", Window::BehindAnother, false, false, outForDelivery, shoes, 1);
        dataRow("hidden", Window::Hidden, false, false, outForDelivery, shoes, 1);
        dataRow("minimised, the user's own query", Window::Minimised, true, false,
                QStringList{QStringLiteral("已收件")}, QString(), 1);
        dataRow("active, re-query", Window::Active, false, false, outForDelivery, QString(), 1);
        dataRow("active, manual query", Window::Active, true, false, outForDelivery, QString(), 1);
        dataRow("minimised, delivered", Window::Minimised, false, false, signedFor, QStringLiteral("鞋 · 已送达"), 1);
        dataRow("minimised, no news: the event shown before", Window::Minimised, false, true, outForDelivery, QString(),
                0);
    }
    void onlyNewsWhileAwayIsSent() {
        QFETCH(Window, window);
        QFETCH(bool, manual);
        QFETCH(bool, seen);
        QFETCH(QStringList, progress);
        QFETCH(QString, summary);
        QFETCH(int, chimes);

        FakeNotificationServer desktop;
        Scene s(progress);
        if (seen) {
            s.w->askAboutChosen();
            QTRY_COMPARE(progressRows(*s.w)->topLevelItemCount(), progress.size());
        }
        const int chimesBefore = test::ScriptedAlerts::timesStarted(s.w->alertPlayer());
        s.put(window);
        if (manual) {
            s.w->addPanel().openEmpty();
            typeIntoAddPanel(*s.w, QStringLiteral("333"), QStringLiteral("申通快递"), QStringLiteral("伞"));
            s.w->startQuery();
            QTRY_VERIFY(!s.w->strips().text(StatusStrips::Verdict).isEmpty() &&
                        s.w->strips().text(StatusStrips::Verdict) != QStringLiteral("未查询"));
        } else {
            s.requery();
        }
        // The chime does not depend on the window.
        QCOMPARE(s.w->strips().text(StatusStrips::Verdict),
                 chimes == 1 ? QStringLiteral("有更新") : QStringLiteral("无更新"));
        QCOMPARE(test::ScriptedAlerts::timesStarted(s.w->alertPlayer()) - chimesBefore, chimes);

        if (summary.isEmpty()) {
            QVERIFY(roundTrips());
            QCOMPARE(desktop.calls.size(), 0);
            return;
        }
        QTRY_COMPARE(desktop.calls.size(), 1);
        const FakeNotificationServer::Call& c = desktop.calls.first();
        QCOMPARE(c.summary, summary);
        QCOMPARE(c.appName, QStringLiteral("踪迹匣"));
        QCOMPARE(c.appIcon, QStringLiteral("cn.tansoft.zjx"));
        QCOMPARE(c.replacesId, 0u);
        QCOMPARE(c.actions, (QStringList{QStringLiteral("default"), QStringLiteral("查看")}));
        QCOMPARE(c.hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("cn.tansoft.zjx"));
        QCOMPARE(c.hints.value(QStringLiteral("urgency")).metaType(), QMetaType::fromType<uchar>());
        QCOMPARE(c.hints.value(QStringLiteral("urgency")).toInt(), 1);
        QCOMPARE(c.expireTimeout, -1);
        QVERIFY(test::ScriptedBoxes::shown().isEmpty());
    }

    void bodyIsEscapedOnlyForMarkupServers_data() {
        addColumns<bool, QString>("markup", "body");
        dataRow("server reads markup", true,
                QStringLiteral("2013-05-22 08:00:00\n派件中 &lt;快递员&gt; 张三 &amp; &quot;李四&quot;"));
        dataRow("plain-text server", false, QStringLiteral("2013-05-22 08:00:00\n") + outForDelivery.last());
    }
    void bodyIsEscapedOnlyForMarkupServers() {
        QFETCH(bool, markup);
        QFETCH(QString, body);
        FakeNotificationServer desktop;
        if (!markup)
            desktop.capabilities.removeAll(QStringLiteral("body-markup"));
        Scene s;
        s.requery();
        QTRY_COMPARE(desktop.calls.size(), 1);
        QCOMPARE(desktop.calls.first().body, body);
        // The summary is never read as markup: it goes as it is.
        QCOMPARE(desktop.calls.first().summary, QStringLiteral("鞋 · 派件中"));
    }

    void nextNewsReplacesTheNotification() {
        QStringList events = outForDelivery;
        FakeNotificationServer desktop;
        Scene s(events);
        s.requery();
        QTRY_COMPARE(desktop.calls.size(), 1);
        events.append(QStringLiteral("已签收人: 本人"));
        events.swapItemsAt(events.size() - 1, events.size() - 2); // still out for delivery, one event more
        s.answer(events);
        s.requery();
        QTRY_COMPARE(desktop.calls.size(), 2);
        QCOMPARE(desktop.calls.at(1).replacesId, 41u);

        // The loop's next re-query finds the same latest event: nothing new reaches the desktop.
        s.requery();
        QVERIFY(roundTrips());
        QCOMPARE(desktop.calls.size(), 2);

        // Another parcel has a notification of its own.
        parcelSelector(*s.w)->setCurrentIndex(0);
        s.requery();
        QTRY_COMPARE(desktop.calls.size(), 3);
        QCOMPARE(desktop.calls.at(2).replacesId, 0u);
        QCOMPARE(desktop.calls.at(2).summary, QStringLiteral("书 · 派件中"));

        // Once the user has closed it, the next news is a new notification.
        desktop.emitSignal(QStringLiteral("NotificationClosed"), {41u, 2u});
        QVERIFY(roundTrips()); // the signal went ahead of the answers
        events.append(outForDelivery.last() + QStringLiteral(" 再次派送"));
        s.answer(events);
        parcelSelector(*s.w)->setCurrentIndex(1);
        s.requery();
        QTRY_COMPARE(desktop.calls.size(), 4);
        QCOMPARE(desktop.calls.at(3).replacesId, 0u);
    }

    void defaultActionBringsTheWindowBack_data() {
        addColumns<bool, QString, bool>("ourId", "action", "raised");
        QTest::newRow("default action") << true << QStringLiteral("default") << true;
        QTest::newRow("another application's notification") << false << QStringLiteral("default") << false;
        QTest::newRow("another action") << true << QStringLiteral("dismiss") << false;
    }
    void defaultActionBringsTheWindowBack() {
        QFETCH(bool, ourId);
        QFETCH(QString, action);
        QFETCH(bool, raised);
        FakeNotificationServer desktop;
        Scene s;
        s.put(Window::Minimised);
        s.requery();
        QTRY_COMPARE(desktop.calls.size(), 1);

        desktop.emitSignal(QStringLiteral("ActionInvoked"), {ourId ? 41u : 7u, action});
        if (raised) {
            QTRY_VERIFY(!s.w->isMinimized() && s.w->isVisible());
            QTRY_VERIFY(s.w->isActiveWindow());
        } else {
            QVERIFY(roundTrips()); // the signal went ahead of the answers
            QVERIFY(s.w->isMinimized());
        }
    }

    void withoutServerNothingChanges() {
        Scene s;
        s.put(Window::Minimised);
        s.requery();
        QCOMPARE(test::ScriptedAlerts::timesStarted(s.w->alertPlayer()), 1);
        // Straight to the verdict, as the parser calls it, each time with a latest event not told yet:
        // the chime and the label as always, at once.
        auto newEvent = [&s](int round) {
            progressRows(*s.w)->topLevelItem(0)->setText(ProgressList::ProgressColumn,
                                                         QStringLiteral("到达第%1站").arg(round));
        };
        for (int round = 2; round <= 3; ++round) {
            newEvent(round);
            s.w->parcelQuery().judge(latestShown(*s.w));
            QCOMPARE(s.w->strips().text(StatusStrips::Verdict), QStringLiteral("有更新"));
            QCOMPARE(test::ScriptedAlerts::timesStarted(s.w->alertPlayer()), round);
            QVERIFY(roundTrips()); // the error answer arrives and is dropped
        }
        QVERIFY(test::ScriptedBoxes::shown().isEmpty());
        // A server that starts later is used with the next news.
        FakeNotificationServer desktop;
        newEvent(4);
        s.w->parcelQuery().judge(latestShown(*s.w));
        QTRY_COMPARE(desktop.calls.size(), 1);
    }

    void failedNoticeIsSentAgain_data() {
        QTest::addColumn<FakeNotificationServer::Mode>("mode");
        QTest::newRow("no server on the bus") << FakeNotificationServer::Mode::Absent;
        QTest::newRow("server fails the call") << FakeNotificationServer::Mode::Failing;
    }
    // Without a working server the notice costs nothing and is not taken as told: the same notice goes
    // out once a server serves on that bus.
    void failedNoticeIsSentAgain() {
        QFETCH(FakeNotificationServer::Mode, mode);
        FakeNotificationServer desktop(mode);
        test::QuietDesktop::uninstall();
        DesktopNotifier notifier(QDBusConnection::connectToBus(privateBus->address, QStringLiteral("notifier")));
        const auto notice = [&] {
            notifier.notify(QStringLiteral("1|申通快递"), QStringLiteral("书 · 运送中"), QStringLiteral("到达"));
        };
        notice();
        QVERIFY(roundTrips(QDBusConnection(QStringLiteral("notifier")))); // the error answer is taken in
        if (mode == FakeNotificationServer::Mode::Failing)
            QCOMPARE(desktop.failedCalls, 1 + 2); // and the round trips' own calls
        QCOMPARE(desktop.calls.size(), 0);
        desktop.serve();
        notice();
        QTRY_COMPARE(desktop.calls.size(), 1);
        QCOMPARE(desktop.calls.first().summary, QStringLiteral("书 · 运送中"));
        QCOMPARE(desktop.calls.first().body, QStringLiteral("到达"));
    }
};

int main(int argc, char** argv) {
    // The bus must be known before anything in Qt connects to the session bus.
    PrivateBus bus;
    if (!bus.start()) {
        qCritical("dbus-daemon could not be started (package dbus-daemon)");
        return 1;
    }
    privateBus = &bus;
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address.toUtf8());
    QApplication app(argc, argv);
    TestNotifications test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_notifications.moc"
