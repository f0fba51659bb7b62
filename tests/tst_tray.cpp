// The tray icon while the watch is on, as a user meets it: closing the window hides it behind the
// icon (told once), the icon counts the unread news and says what the watch does, its menu switches
// the watch and ends the program; a start at login stays out of sight only where there is a tray,
// and the overview writes the login entry.
#include "gui/backgroundoptions.h"
#include "gui/backgroundtray.h"
#include "gui/overviewwindow.h"
#include "gui/platform/traypresence.h"
#include "platform/environment.h"
#include "schedule/watchkeeper.h"
#include "support/datatable.h"
#include "support/scriptedseams.h"
#include "support/testserver.h"
#include "support/windowfixture.h"
#include "watch/bookwatch.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

using namespace zjx;
using namespace zjx::test;

namespace {
const QString hiddenNotice = QStringLiteral("踪迹匣仍在后台跟踪快递,可从托盘图标打开或退出: ");
}

class TestTray : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_tray = true;
        TrayPresence::setHandler([this] { return m_tray; });
        const QDateTime noon(QDate(2026, 12, 8), QTime(12, 0));
        Clock::setOverride([noon] { return noon; });
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        m_fx = std::make_unique<WindowFixture>();
        m_fx->writeStore(TestServer::gbk(QStringLiteral("111|申通快递|书\r\n222|顺丰快递|鞋\r\n")));
    }
    void cleanup() {
        m_fx.reset();
        TrayPresence::setHandler({});
        Clock::setOverride({});
        ProgramEnd::setHandler({});
    }

    void closingTheWindow_data() {
        addColumns<bool, bool, bool>("tray", "watchOn", "hides");
        QTest::newRow("tray, watch on: hidden") << true << true << true;
        QTest::newRow("tray, watch off: farewell") << true << false << false;
        QTest::newRow("no tray, watch on: farewell") << false << true << false;
        QTest::newRow("no tray, watch off: farewell") << false << false << false;
    }
    void closingTheWindow() {
        QFETCH(bool, tray);
        QFETCH(bool, watchOn);
        QFETCH(bool, hides);
        m_tray = tray;
        auto w = m_fx->shownWindow();
        QVERIFY(w);
        w->watchKeeper().setEnabled(watchOn);
        BackgroundTray& icon = w->backgroundTray();
        QCOMPARE(icon.iconShown(), hides);
        if (!hides) {
            ScriptedBoxes::setNextAnswer(MessageBox::Answer::No);
            QVERIFY(w->close());
            QCOMPARE(ScriptedBoxes::shown().size(), 1); // the farewell question
            QVERIFY(QuietDesktop::takeShown().isEmpty());
            return;
        }
        // Hidden, and told so the first time only; the icon's click brings the window back.
        for (const QStringList& told : {QStringList{hiddenNotice}, QStringList{}}) {
            QVERIFY(!w->close());
            QVERIFY(!w->isVisible() && icon.iconShown());
            QCOMPARE(QuietDesktop::takeShown(), told);
            icon.toggleWindow();
            QVERIFY(w->isVisible());
        }
        QVERIFY(ScriptedBoxes::shown().isEmpty());
        // The next run knows it was told.
        w.reset();
        w = m_fx->shownWindow();
        QVERIFY(!w->close());
        QVERIFY(QuietDesktop::takeShown().isEmpty());
    }

    void iconAndItsMenu() {
        int endings = 0;
        ProgramEnd::setHandler([&endings] { ++endings; });
        auto w = m_fx->shownWindow();
        w->watchKeeper().setQuietHours(QTime(22, 0), QTime(7, 0));
        w->watchKeeper().setEnabled(true);
        BackgroundTray& tray = w->backgroundTray();
        QVERIFY(tray.iconShown());
        QCOMPARE(tray.icon()->toolTip(), QStringLiteral("正在跟踪 2 件快递"));
        QCOMPARE(tray.badgeShown(), QString());
        QStringList items;
        for (const QAction* action : tray.menu()->actions())
            items << action->text();
        QCOMPARE(items, (QStringList{"打开踪迹匣", "全部快递", "自动跟踪全部快递", "", "退出"}));

        // News of one parcel, the other signed for: counted on the icon and in its words.
        QHash<ParcelKey, ParcelState> known;
        known[{"111", "申通快递"}].unseen = true;
        known[{"222", "顺丰快递"}].state = QStringLiteral("已签收");
        w->watchKeeper().parcelStates().replaceAll(known);
        QTRY_COMPARE(tray.icon()->toolTip(), QStringLiteral("正在跟踪 1 件快递,1 件有新进展"));
        QCOMPARE(tray.badgeShown(), QStringLiteral("1"));

        // The menu's watch switch and the overview's are one; off, the hidden window comes back.
        QAction* watch = tray.menu()->actions().at(2);
        QVERIFY(watch->isCheckable() && watch->isChecked());
        tray.menu()->actions().at(1)->trigger(); // 全部快递
        QVERIFY(w->overview() && w->overview()->isVisible() && w->overview()->watchSwitch->isChecked());
        QVERIFY(!w->close());
        watch->trigger();
        QVERIFY(!w->watchKeeper().bookWatch().enabled());
        QVERIFY(!w->overview()->watchSwitch->isChecked());
        QVERIFY(w->isVisible() && !tray.iconShown());
        w->overview()->watchSwitch->setChecked(true);
        QVERIFY(watch->isChecked() && tray.iconShown());

        tray.menu()->actions().at(4)->trigger(); // 退出
        QCOMPARE(endings, 1);
        QCOMPARE(QuietDesktop::takeShown(), QStringList{hiddenNotice});
    }

    void startAtLogin_data() {
        addColumns<bool, bool>("tray", "windowShown");
        QTest::newRow("tray: out of sight") << true << false;
        QTest::newRow("no tray: the window") << false << true;
    }
    void startAtLogin() {
        QFETCH(bool, tray);
        QFETCH(bool, windowShown);
        m_tray = tray;
        auto w = m_fx->makeWindow();
        w->backgroundTray().startHidden(300);
        QVERIFY(w->watchKeeper().bookWatch().enabled());
        QTRY_COMPARE(w->isVisible(), windowShown);
        QTest::qWait(400);
        QCOMPARE(w->isVisible(), windowShown);
        QCOMPARE(w->backgroundTray().iconShown(), tray);
    }

    void loginEntryFromTheOverview() {
        m_tray = false;
        auto w = m_fx->shownWindow();
        w->openOverview();
        BackgroundOptions* options = w->overview()->background;
        QVERIFY(options->noTrayNote->isVisible());
        QCOMPARE(options->noTrayNote->text(), QStringLiteral("桌面没有系统托盘:自动跟踪只在踪迹匣窗口打开时进行"));
        QCOMPARE(options->loginStart->accessibleName(), QStringLiteral("登录时自动启动并在后台跟踪"));
        const QString entry = m_config.filePath(QStringLiteral("autostart/cn.tansoft.zjx.desktop"));
        QVERIFY(!options->loginStart->isChecked());
        options->loginStart->setChecked(true);
        QFile file(entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains(" --background\n"));
        options->loginStart->setChecked(false);
        QVERIFY(!QFile::exists(entry));
    }

private:
    bool m_tray = true;
    QTemporaryDir m_config;
    std::unique_ptr<WindowFixture> m_fx;
};

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
