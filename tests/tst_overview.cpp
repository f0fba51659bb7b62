// The overview "全部快递" with the watch of the whole book, as a user meets it: opened from the
// menu, the watch finds news once per parcel (a fake clock moves it on), a row opened in the main
// window is seen, archiving moves a parcel out of the selector and the book file and back.
#include "book/archive.h"
#include "book/store.h"
#include "gui/overviewwindow.h"
#include "gui/platform/desktopnotifier.h"
#include "platform/environment.h"
#include "support/scriptedseams.h"
#include "support/testserver.h"
#include "support/windowfixture.h"
#include "watch/bookwatch.h"
#include "watch/statefile.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTest>
#include <mutex>

using namespace zjx;
using zjx::test::CannedResponse;
using zjx::test::RecordedRequest;
using zjx::test::TestServer;
using zjx::test::WindowFixture;

namespace {

int rowOf(OverviewWindow& o, const QString& note) {
    for (int r = 0; r < o.filter().rowCount(); ++r)
        if (o.filter().index(r, OverviewModel::Note).data().toString() == note)
            return r;
    return -1;
}

bool bold(OverviewWindow& o, const QString& note) {
    return o.filter().index(rowOf(o, note), 0).data(OverviewModel::UnseenRole).toBool();
}

} // namespace

class TestOverview : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void watchArchiveAndRestore();
};

void TestOverview::watchArchiveAndRestore() {
    std::mutex lock;
    QHash<QString, QStringList> events{{"111", {"已收件"}}, {"222", {"已收件"}}, {"333", {"已收件", "已签收,本人"}}};
    TestServer server;
    server.setHandler("/", [&](const RecordedRequest& r) {
        const std::lock_guard guard(lock);
        return CannedResponse{
            200, TestServer::trackingPage(events.value(QString::fromStdString(r.param("nu"))), QDate(2026, 12, 1))};
    });
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
    DesktopNotifier::setHandler([&told](const QString&, const QString& summary, const QString&) { told << summary; });

    w->Combo5->setCurrentIndex(w->Combo5->findText(QStringLiteral("全部快递")));
    w->Combo5_Click();
    OverviewWindow* o = w->overview();
    QVERIFY(o && o->isVisible());
    QCOMPARE(o->table->accessibleName(), QStringLiteral("parcel_table"));
    QCOMPARE(o->search->accessibleName(), QStringLiteral("parcel_search"));
    QCOMPARE(o->watchMinutes->accessibleName(), QStringLiteral("watch_minutes"));
    QCOMPARE(o->watchSwitch->accessibleName(), QStringLiteral("自动跟踪全部快递"));
    QCOMPARE(o->archivedFilter->accessibleName(), QStringLiteral("已归档"));
    QCOMPARE(o->filter().rowCount(), 3);

    // Three minutes of the watch at one minute: the parcels one at a time, 20 seconds apart.
    o->watchMinutes->setValue(1);
    o->watchSwitch->setChecked(true);
    auto minute = [&](const QStringList& expected) {
        const qsizetype before = server.requests().size();
        for (int slot = 0; slot < 3; ++slot) {
            w->bookWatch().wake();
            QTRY_VERIFY(!w->bookWatch().asking());
            now = now.addSecs(20);
        }
        QStringList asked;
        for (const RecordedRequest& r : server.requests().mid(before))
            asked << QString::fromStdString(r.param("nu"));
        QCOMPARE(asked, expected);
    };
    minute({"111", "222", "333"});
    QCOMPARE(told, (QStringList{"书 · 运送中", "鞋 · 运送中", "伞 · 已送达"}));
    QVERIFY(bold(*o, "书") && bold(*o, "鞋") && bold(*o, "伞"));
    minute({"111", "222", "333"}); // the same events; the signed-for parcel is asked once more
    QCOMPARE(told.size(), 3);
    {
        const std::lock_guard guard(lock);
        events["222"] << QStringLiteral("派件中");
    }
    minute({"111", "222"});
    QCOMPARE(told.last(), QStringLiteral("鞋 · 派件中"));
    QCOMPARE(told.size(), 4);

    // Opened from the overview: the main window asks for it as chosen in the selector; it is seen.
    o->table->selectRow(rowOf(*o, "鞋"));
    o->openSelected();
    QCOMPARE(w->Text1->currentText(), QStringLiteral("鞋"));
    QCOMPARE(server.requests().last().param("nu"), std::string("222"));
    QTRY_VERIFY(!bold(*o, "鞋"));
    QVERIFY(bold(*o, "书"));
    QCOMPARE(told.size(), 4); // the user's own query tells the desktop nothing

    // Archived: out of the selector and the book file, into the archive; and back.
    o->search->setText(QStringLiteral("圆通"));
    QCOMPARE(o->filter().rowCount(), 1);
    o->table->selectRow(0);
    o->archiveButton->click();
    QCOMPARE(w->Text1->findText(QStringLiteral("伞")), -1);
    QCOMPARE(Store::read(fx.storePath()).records, (QStringList{"111|申通快递|书", "222|顺丰快递|鞋"}));
    QCOMPARE(Store::read(w->archivePath()).records, QStringList{"333|圆通快递|伞"});
    QCOMPARE(o->filter().rowCount(), 0);
    o->archivedFilter->setChecked(true);
    QCOMPARE(o->filter().rowCount(), 1);
    o->table->selectRow(0);
    o->restoreButton->click();
    QVERIFY(w->Text1->findText(QStringLiteral("伞")) >= 0);
    QVERIFY(Store::read(w->archivePath()).records.isEmpty());
    QCOMPARE(Store::read(fx.storePath()).records.size(), 3);

    // What is known survives a restart: no news is told again.
    QVERIFY(w->saveStates());
    const QHash<ParcelKey, ParcelState> kept = StateFile::load(w->statePath()).states;
    QCOMPARE(kept.value({"222", "顺丰快递"}).latest.progress, QStringLiteral("派件中"));
    QVERIFY(kept.value({"111", "申通快递"}).unseen);
    QVERIFY(!kept.value({"222", "顺丰快递"}).unseen);
    for (const QString& path : {fx.storePath(), w->archivePath(), w->statePath(), settingsFile})
        QCOMPARE(QFileInfo(path).permissions() & ~(QFile::ReadUser | QFile::WriteUser), QFile::ReadOwner | QFile::WriteOwner);
    test::QuietDesktop::install();
    Clock::setOverride({});
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    TestOverview test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_overview.moc"
