// The overview "全部快递" with the watch of the whole book, as a user meets it: opened from the
// menu, the watch finds news once per parcel (a fake clock moves it on), a row opened in the main
// window is seen, archiving moves a parcel out of the selector and the book file and back.
#include "book/archive.h"
#include "book/store.h"
#include "gui/overviewwindow.h"
#include "gui/platform/desktopnotifier.h"
#include "platform/environment.h"
#include "platform/singleinstance.h"
#include "schedule/newsnotice.h"
#include "support/datatable.h"
#include "gui/statusstrips.h"
#include "support/scriptedseams.h"
#include "support/testserver.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"
#include "watch/bookwatch.h"
#include "watch/watchstore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimeEdit>
#include <QTest>
#include <mutex>

using namespace zjx;
using namespace zjx::test;

namespace {

int rowOf(OverviewWindow& o, const QString& note) {
    for (int r = 0; r < o.filter().rowCount(); ++r)
        if (o.filter().index(r, OverviewModel::Note).data().toString() == note)
            return r;
    return -1;
}

// Bold, and said so to a screen reader in every cell of the row (a table cell's description).
bool bold(OverviewWindow& o, const QString& note) {
    const int row = rowOf(o, note);
    const bool unseen = o.filter().index(row, 0).data(OverviewModel::UnseenRole).toBool();
    for (int column = 0; column < OverviewModel::ColumnCount; ++column) {
        const QString said = o.filter().index(row, column).data(Qt::AccessibleDescriptionRole).toString();
        if (!QTest::qVerify(said == (unseen ? QStringLiteral("有新进展") : QString()), "described as shown",
                            qPrintable(said), __FILE__, __LINE__))
            return !unseen;
    }
    return unseen;
}

} // namespace

class TestOverview : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void watchArchiveAndRestore() {
        std::mutex lock;
        QHash<QString, QStringList> events{{"111", {"已收件"}}, {"222", {"已收件"}}, {"333", {"已收件"}}};
        QHash<QString, std::string> providerStates;
        std::string backend = "kuaidi100";
        std::string refused; // a number whose connection is closed before any answer
        TestServer server;
        server.setHandler("/", [&](const RecordedRequest& r) {
            const std::lock_guard guard(lock);
            if (r.param("nu") == refused)
                return CannedResponse{200, {}, "text/html", 0, CannedResponse::Fault::Refuse};
            const QString number = QString::fromStdString(r.param("nu"));
            CannedResponse answer{200, TestServer::trackingPage(events.value(number), QDate(2026, 12, 6))};
            answer.headers = {{"X-Zjx-Backend", backend}};
            if (providerStates.contains(number))
                answer.headers.emplace_back("X-Zjx-State", providerStates.value(number));
            return answer;
        });
        const auto change = [&](const std::function<void()>& edit) {
            const std::lock_guard guard(lock);
            edit();
        };
        WindowFixture fx(server.hostPort());
        fx.writeStore(TestServer::gbk(QStringLiteral("111|申通快递|书\r\n222|顺丰快递|鞋\r\n333|圆通快递|伞\r\n")));
        // Files others could read, left by an earlier version: tightened when next written.
        const QString settingsFile = QFileInfo(fx.storePath()).dir().filePath(QStringLiteral("zjx-settings.ini"));
        QFile(settingsFile).open(QIODevice::WriteOnly);
        for (const QString& path : {fx.storePath(), settingsFile})
            QFile::setPermissions(path, QFile::permissions(path) | QFile::ReadOther | QFile::ReadGroup);
        QDateTime now(QDate(2026, 12, 7), QTime(8, 0));
        Clock::setOverride([&now] { return now; });
        auto w = fx.makeWindow();
        QStringList told;
        QStringList bodies;
        DesktopNotifier::setHandler([&](const QString&, const QString& summary, const QString& body) {
            told << summary;
            bodies << body;
        });

        w->menu().choose(menuBox(*w)->findText(QStringLiteral("全部快递")));
        OverviewWindow* o = w->overview();
        QVERIFY(o && o->isVisible());
        QCOMPARE(o->watchSwitch->accessibleName(), QStringLiteral("自动跟踪全部快递"));
        QCOMPARE(o->archivedFilter->accessibleName(), QStringLiteral("已归档"));
        QCOMPARE(o->filter().rowCount(), 3);

        QCOMPARE(o->costLabel->text(), QStringLiteral("自动跟踪未开启。开启后约 45 次查询/天"));

        // A minute of the watch at one minute: the parcels one at a time, 20 seconds apart (a limit
        // that serves them all).
        o->dailyLimit->setValue(100000);
        o->watchMinutes->setValue(1);
        o->watchSwitch->setChecked(true);
        auto minute = [&](const QStringList& expected) {
            const qsizetype before = server.requests().size();
            for (int slot = 0; slot < 3; ++slot) {
                w->watchKeeper().bookWatch().wake();
                QTRY_VERIFY(!w->watchKeeper().bookWatch().asking());
                now = now.addSecs(20);
            }
            QStringList asked;
            for (const RecordedRequest& r : server.requests().mid(before))
                asked << QString::fromStdString(r.param("nu"));
            QCOMPARE(asked, expected);
        };
        const QStringList all{"111", "222", "333"};
        minute(all);
        QVERIFY(told.isEmpty()); // first answers are learnt, not told
        QVERIFY(!bold(*o, "书") && !bold(*o, "鞋") && !bold(*o, "伞"));
        QCOMPARE(o->costLabel->text(), QStringLiteral("约 2700 次查询/天(快递100 按次计费)"));

        // One parcel moves: one notice, once the short window closes.
        change([&] { events["222"] << QStringLiteral("派件中"); });
        minute(all);
        QVERIFY(told.isEmpty());
        minute(all);
        QCOMPARE(told, QStringList{"鞋 · 派件中"});
        QVERIFY(bold(*o, "鞋") && !bold(*o, "书"));

        // Three move at once: one notice for the three; the locker's code is shown with its state.
        change([&] {
            events["111"] << QStringLiteral("到达北京");
            events["222"] << QStringLiteral("已签收,本人");
            events["333"] << QStringLiteral("已放入丰巢柜,取件码 3-2-1045");
            providerStates["333"] = "pickup";
        });
        minute(all);
        minute({"111", "333"}); // signed for: no longer asked
        QCOMPARE(w->watchKeeper().bookWatch().watchedCount(), 2);
        QCOMPARE(told.size(), 2);
        QCOMPARE(told.last(), QStringLiteral("3 件快递有新进展"));
        QCOMPARE(bodies.last(), QStringLiteral("书 · 运送中\n鞋 · 已送达\n伞 · 待取件 · 取件码 3-2-1045"));
        QCOMPARE(o->filter().index(rowOf(*o, "伞"), OverviewModel::State).data().toString(),
                 QStringLiteral("待取件 · 3-2-1045"));

        // The grouped notice opens the overview with its parcels; a parcel's notice shows that parcel
        // in the main window, asked as chosen in the selector, and selects its row.
        o->search->setText(QStringLiteral("书"));
        w->noticeClicked(NewsNotice::groupedKey());
        QCOMPARE(o->filter().rowCount(), 3);
        QCOMPARE(o->selectedRecords().size(), 3);
        o->showAllButton->click();
        o->stateFilter->setCurrentIndex(o->stateFilter->findText(QStringLiteral("待取件")));
        QCOMPARE(o->filter().rowCount(), 1);
        w->noticeClicked(QStringLiteral("222|顺丰快递"));
        QCOMPARE(parcelSelector(*w)->currentText(), QStringLiteral("鞋"));
        QCOMPARE(server.requests().last().param("nu"), std::string("222"));
        QCOMPARE(o->selectedRecords(), QStringList{"222|顺丰快递|鞋"});
        QTRY_VERIFY(!bold(*o, "鞋"));
        QVERIFY(bold(*o, "书"));
        QCOMPARE(told.size(), 2); // the user's own query tells the desktop nothing

        // Another back-end: its answers are a new start, whatever they say.
        change([&] {
            backend = "demo";
            events["111"] = QStringList{QStringLiteral("已收件")};
            events["333"] << QStringLiteral("派件中");
            providerStates.clear();
        });
        minute({"111", "333"});
        minute({"111", "333"});
        QCOMPARE(told.size(), 2);
        QCOMPARE(o->costLabel->text(), QStringLiteral("约 1800 次查询/天(演示数据,不计费)"));

        // A paid back-end with a limit that cannot serve every parcel every minute: the overview
        // says how often they are asked, and the estimate is what the limit lets through.
        change([&] { backend = "kuaidi100"; });
        minute({"111", "333"});
        const int spent = w->watchKeeper().parcelStates().ledger().spent;
        o->dailyLimit->setValue(spent + 1);
        // The parcel waiting for pickup first: 15 waking hours of 18 asks; none left for the other.
        QCOMPARE(spent + 1, 18);
        QCOMPARE(o->costLabel->text(),
                 QStringLiteral("约 18 次查询/天(快递100 按次计费)。上限 18 次:派件中约每 50 分钟一次,运送中暂停"));
        // Asking now for more than the day has left asks first; every ask counts when it is sent.
        o->table->selectAll();
        ScriptedBoxes::setNextAnswer(MessageBox::Answer::No);
        o->askButton->click();
        QCOMPARE(ScriptedBoxes::shownTexts().value(ScriptedBoxes::shownTexts().size() - 1),
                 QStringLiteral("立即查询这 3 件快递将用去 3 次查询,今天的每日上限只剩 1 次。仍要查询吗?"));
        QCOMPARE(w->watchKeeper().parcelStates().ledger().spent, spent);
        ScriptedBoxes::setNextAnswer(MessageBox::Answer::Yes);
        o->askButton->click();
        QTRY_COMPARE(w->watchKeeper().parcelStates().ledger().spent, spent + 3);
        QTRY_VERIFY(!w->watchKeeper().bookWatch().asking());
        QString stop = QStringLiteral("今天已查询 %1 次,达到每日上限:自动跟踪暂停,明天继续").arg(spent + 3);
        QCOMPARE(o->costLabel->text(), stop);
        QCOMPARE(o->costLabel->accessibleName(), stop);
        QCOMPARE(w->strips().text(StatusStrips::Hint), stop);
        // A query from the main window through the paid back-end counts as well, when it is sent:
        // the provider may bill an ask whose answer never comes.
        change([&] { refused = "111"; });
        w->showRecord(QStringLiteral("111|申通快递|书"));
        QTRY_COMPARE(w->watchKeeper().parcelStates().ledger().spent, spent + 4);
        QCOMPARE(o->costLabel->text(), QStringLiteral("今天已查询 %1 次,达到每日上限:自动跟踪暂停,明天继续").arg(spent + 4));
        minute({}); // stopped for the day
        // A clock set back does not start the day again.
        stop = o->costLabel->text();
        now = now.addDays(-1);
        minute({});
        QCOMPARE(o->costLabel->text(), stop);
        // The next day: what waited since yesterday is spread over its cadence, not sent at once.
        now = QDateTime(now.date().addDays(2), QTime(8, 0));
        w->watchKeeper().bookWatch().wake();
        QTRY_VERIFY(!w->watchKeeper().bookWatch().asking());
        QCOMPARE(w->watchKeeper().parcelStates().ledger().spent, 1); // a new day, a new count
        o->dailyLimit->setValue(100000);
        QCOMPARE(o->costLabel->text(), QStringLiteral("约 1800 次查询/天(快递100 按次计费)"));
        // The night's pause is shown, with when the watch goes on.
        now = QDateTime(now.date(), QTime(23, 0));
        w->watchKeeper().bookWatch().wake();
        QVERIFY(o->costLabel->text().startsWith(QStringLiteral("夜间暂停,07:00 继续。")));
        QCOMPARE(w->watchKeeper().bookWatch().pausedUntil(), QDateTime(now.date().addDays(1), QTime(7, 0)));
        QCOMPARE(told.size(), 2);
        o->watchSwitch->setChecked(false);
        now = QDateTime(now.date(), QTime(9, 0));

        // Archived: out of the selector and the book file, into the archive; and back.
        o->search->setText(QStringLiteral("圆通"));
        QCOMPARE(o->filter().rowCount(), 1);
        o->table->selectRow(0);
        o->archiveButton->click();
        QCOMPARE(parcelSelector(*w)->findText(QStringLiteral("伞")), -1);
        QCOMPARE(Store::read(fx.storePath()).records, (QStringList{"111|申通快递|书", "222|顺丰快递|鞋"}));
        QCOMPARE(Store::read(w->watchKeeper().archivePath()).records, QStringList{"333|圆通快递|伞"});
        QCOMPARE(o->filter().rowCount(), 0);
        o->archivedFilter->setChecked(true);
        QCOMPARE(o->filter().rowCount(), 1);
        o->table->selectRow(0);
        o->restoreButton->click();
        QVERIFY(parcelSelector(*w)->findText(QStringLiteral("伞")) >= 0);
        QVERIFY(Store::read(w->watchKeeper().archivePath()).records.isEmpty());
        QCOMPARE(Store::read(fx.storePath()).records.size(), 3);

        // What is known survives a restart, with the back-end that told it; the database is the
        // owner's alone.
        QVERIFY(w->watchKeeper().saveStates());
        WatchStore reopened;
        const WatchStore::Opened kept = reopened.open(w->watchKeeper().statePath());
        QCOMPARE(kept.states.value({"222", "顺丰快递"}).latest.progress, QStringLiteral("已签收,本人"));
        QCOMPARE(kept.states.value({"333", "圆通快递"}).source, QStringLiteral("kuaidi100"));
        QCOMPARE(kept.ledger.backend, QStringLiteral("kuaidi100"));
        QVERIFY(!kept.states.value({"222", "顺丰快递"}).unseen);
        for (const QString& path :
             {fx.storePath(), w->watchKeeper().archivePath(), w->watchKeeper().statePath(), settingsFile})
            QCOMPARE(QFileInfo(path).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
                     QFile::ReadOwner | QFile::WriteOwner);
        test::QuietDesktop::install();
        Clock::setOverride({});
    }

    void aNewUserFindsTheirWay() {
        TestServer server;
        server.setHandler("/", [](const RecordedRequest& r) {
            const std::string number = r.param("nu");
            if (number == "1")
                return CannedResponse{200, "NULL"}; // an expired number
            if (number == "3")
                return CannedResponse{200, TestServer::gbk(QStringLiteral("不存在"))};
            CannedResponse page{200, TestServer::trackingPage({QStringLiteral("已收件")}, QDate(2026, 12, 1))};
            page.headers = {{"X-Zjx-Cache-Minutes", "45"}};
            return page;
        });
        WindowFixture fx(server.hostPort());
        fx.writeStore(TestServer::gbk(QStringLiteral(
            "1|申通快递|中药\r\n2|申通快递|包裹\r\n3|申通快递|阿姨\r\n92055901649173127510|USPS快递|信\r\n")));
        auto w = fx.makeWindow();
        w->openOverview();
        OverviewWindow* o = w->overview();
        QCOMPARE(o->table->accessibleName(), QStringLiteral("全部快递列表"));
        QCOMPARE(o->search->accessibleName(), QStringLiteral("筛选快递"));
        QCOMPARE(o->watchMinutes->accessibleName(), QStringLiteral("跟踪间隔"));
        QVERIFY(o->minimumSizeHint().width() <= 1000); // a 1024-pixel screen, borders included

        // Notes sort by pinyin (a, bao, xin, zhong), not by code point; a 20-digit number shows whole.
        QStringList notes;
        for (int r = 0; r < o->filter().rowCount(); ++r)
            notes << o->filter().index(r, OverviewModel::Note).data().toString();
        QCOMPARE(notes, (QStringList{"阿姨", "包裹", "信", "中药"}));
        QVERIFY(o->table->columnWidth(OverviewModel::Number) >
                o->table->fontMetrics().horizontalAdvance(QStringLiteral("92055901649173127510")) + 8);

        // Escape empties the search; Down goes on into the list and selects; Enter opens the row.
        o->search->setText(QStringLiteral("包"));
        QCOMPARE(o->filter().rowCount(), 1);
        QTest::keyClick(o->search, Qt::Key_Escape);
        QCOMPARE(o->search->text(), QString());
        QCOMPARE(o->filter().rowCount(), 4);
        QTest::keyClick(o->search, Qt::Key_Down);
        QCOMPARE(o->selectedRecords(), QStringList{"3|申通快递|阿姨"});
        QTest::keyClick(o->table, Qt::Key_Down);
        QCOMPARE(o->selectedRecords(), QStringList{"2|申通快递|包裹"});
        // Tab, Shift+Tab and Ctrl+Tab leave the list, whose row stays; Tab goes on through the
        // controls under it in reading order before the search box comes round again.
        const std::tuple<Qt::Key, Qt::KeyboardModifiers, QWidget*> leaves[] = {
            {Qt::Key_Tab, Qt::NoModifier, o->watchSwitch},
            {Qt::Key_Backtab, Qt::ShiftModifier, o->archivedFilter},
            {Qt::Key_Tab, Qt::ControlModifier, o->watchSwitch},
            {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, o->archivedFilter}};
        for (const auto& [key, modifiers, next] : leaves) {
            o->table->setFocus();
            QTest::keyClick(o->table, key, modifiers);
            QCOMPARE(o->focusWidget(), next);
            QCOMPARE(o->selectedRecords(), QStringList{"2|申通快递|包裹"});
        }
        QList<QWidget*> reached{o->table};
        while (reached.size() < 40 && reached.last() != o->search) {
            QTest::keyClick(reached.last(), Qt::Key_Tab);
            reached << o->focusWidget();
        }
        qsizetype place = 0;
        const QList<QWidget*> readingOrder{o->watchSwitch, o->watchMinutes, o->dailyLimit, o->quietTo,
                                           o->chime,       o->askButton,    o->archiveButton, o->search};
        for (QWidget* control : readingOrder) {
            QVERIFY2(reached.indexOf(control) > place, qPrintable(control->accessibleName()));
            place = reached.indexOf(control);
        }
        QTest::keyClick(o->table, Qt::Key_Return);
        QCOMPARE(parcelSelector(*w)->currentText(), QStringLiteral("包裹"));

        // An expired number and a number without a record say so; a provider's cache longer than the
        // chosen interval is named beside it, and the choice is kept.
        o->watchMinutes->setValue(1);
        o->table->selectAll();
        o->askSelected();
        QTRY_VERIFY(!w->watchKeeper().bookWatch().asking() && server.requests().size() >= 5);
        const auto stateOf = [&](const QString& note) {
            return o->filter().index(rowOf(*o, note), OverviewModel::State).data().toString();
        };
        QTRY_COMPARE(stateOf(QStringLiteral("中药")), QStringLiteral("已失效"));
        QCOMPARE(stateOf(QStringLiteral("阿姨")), QStringLiteral("无记录"));
        QCOMPARE(o->watchMinutes->value(), 45);
        QCOMPARE(o->intervalNote->text(), QStringLiteral("(服务商缓存 45 分钟)"));
        QCOMPARE(w->watchKeeper().bookWatch().minutes(), 1);
    }

    // zjx --overview while the program runs: the running one opens its overview; a plain second
    // start only brings the window forward.
    void laterStartOpensTheOverview_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("overview") << QStringLiteral("overview");
        QTest::newRow("raise") << QStringLiteral("raise");
    }
    void laterStartOpensTheOverview() {
        QFETCH(QString, command);
        WindowFixture fx;
        auto w = fx.shownWindow();
        QVERIFY(w);
        w->showMinimized();
        SingleInstance running(QStringLiteral("zjx-test"), fx.storePath());
        QVERIFY(running.claim());
        connect(&running, &SingleInstance::commandReceived, w.get(),
                [&w](const QString& word) { w->followLaterStart(word); });
        SingleInstance later(QStringLiteral("zjx-test"), fx.storePath());
        QVERIFY(!later.claim());
        QVERIFY(later.tellOther(command));
        QTRY_VERIFY(!w->isMinimized());
        QCOMPARE(w->overview() && w->overview()->isVisible(), command == u"overview");
    }

    void placement_data() {
        addColumns<QRect, QRect, QRect>("main", "available", "expected");
        const QRect screen(0, 0, 1024, 740); // 1024×768 with a panel
        dataRow("room on the right", QRect(10, 50, 110, 300), screen, QRect(120, 50, 900, 480));
        dataRow("room only on the left", QRect(910, 300, 110, 300), screen, QRect(10, 260, 900, 480));
        dataRow("no room: the wider side, inside the screen", QRect(400, 400, 300, 300), screen,
                QRect(0, 260, 900, 480));
        dataRow("a small screen", QRect(0, 0, 100, 100), QRect(0, 0, 800, 400), QRect(0, 0, 800, 400));
        dataRow("a second screen", QRect(1100, 0, 100, 100), QRect(1024, 0, 1280, 1000), QRect(1200, 0, 900, 480));
    }
    void placement() {
        QFETCH(QRect, main);
        QFETCH(QRect, available);
        QFETCH(QRect, expected);
        QCOMPARE(OverviewWindow::placement(main, QSize(900, 480), available), expected);
    }
};

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TestOverview test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_overview.moc"
