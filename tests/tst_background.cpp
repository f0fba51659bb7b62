// Running behind the tray: what closing the window and a start do, the login entry as desktops read
// it, and what the tray icon says about the watch.
#include "background/autostart.h"
#include "background/closechoice.h"
#include "background/traystatus.h"
#include "platform/environment.h"
#include "watch/bookwatch.h"
#include "watch/parcelstates.h"

#include "support/datarows.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace zjx;
using zjx::test::addRows;

Q_DECLARE_METATYPE(zjx::CloseAction)
Q_DECLARE_METATYPE(zjx::StartAction)

class TestBackground : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void closingTheWindow_data();
    void closingTheWindow();
    void starting_data();
    void starting();
    void entryFolder_data();
    void entryFolder();
    void execLine_data();
    void execLine();
    void entryIsWrittenValidAndRemoved_data();
    void entryIsWrittenValidAndRemoved();
    void entryTurnedOffElsewhere_data();
    void entryTurnedOffElsewhere();
    void toolTipAndBadge_data();
    void toolTipAndBadge();
    void summaryOfTheWatch();
    void cleanup() { Clock::setOverride({}); }

private:
    QTemporaryDir m_dir;
};

using CloseRow = std::tuple<const char*, bool, bool, bool, CloseAction, bool>;

void TestBackground::closingTheWindow_data() {
    // tray, watch on, told before -> action, tell
    addRows<CloseRow>({
        {"tray, watch on: hidden, told the first time", true, true, false, CloseAction::HideToTray, true},
        {"tray, watch on, told before", true, true, true, CloseAction::HideToTray, false},
        {"tray, watch off: the farewell question", true, false, false, CloseAction::AskFarewell, false},
        {"no tray, watch on: the farewell question", false, true, false, CloseAction::AskFarewell, false},
        {"no tray, watch off", false, false, true, CloseAction::AskFarewell, false},
    });
}

void TestBackground::closingTheWindow() {
    QFETCH(CloseRow, row);
    const auto [name, tray, watchOn, toldBefore, action, tell] = row;
    QCOMPARE(chooseClose(tray, watchOn, toldBefore), (CloseChoice{action, tell}));
}

using StartRow = std::tuple<const char*, bool, bool, bool, StartAction>;

void TestBackground::starting_data() {
    // --background, another running, tray -> action
    addRows<StartRow>({
        {"plain start", false, false, true, StartAction::ShowWindow},
        {"--background with a tray", true, false, true, StartAction::StayInTray},
        {"--background without a tray shows the window", true, false, false, StartAction::ShowWindow},
        {"--background while one runs", true, true, true, StartAction::LeaveOtherAlone},
        {"--background while one runs, no tray", true, true, false, StartAction::LeaveOtherAlone},
        {"started again while one runs", false, true, true, StartAction::RaiseOther},
    });
}

void TestBackground::starting() {
    QFETCH(StartRow, row);
    const auto [name, background, otherRunning, tray, action] = row;
    QCOMPARE(chooseStart(background, otherRunning, tray), action);
}

using FolderRow = std::tuple<const char*, QString, QString, QString>;

void TestBackground::entryFolder_data() {
    addRows<FolderRow>({
        {"XDG_CONFIG_HOME", "/srv/cfg/", "/home/ann", "/srv/cfg/autostart"},
        {"unset", "", "/home/ann", "/home/ann/.config/autostart"},
        {"relative, so ignored", "cfg", "/home/ann", "/home/ann/.config/autostart"},
    });
}

void TestBackground::entryFolder() {
    QFETCH(FolderRow, row);
    const auto [name, configHome, home, folder] = row;
    QCOMPARE(AutostartEntry::folder(configHome, home), folder);
}

// "DIR" stands for a folder holding lib/zjx and bin/zjx, a link to it, and bin/other.
using ExecRow = std::tuple<const char*, QString, QString, QString>;

void TestBackground::execLine_data() {
    addRows<ExecRow>({
        {"the program the PATH finds: by name", "DIR/lib/zjx", "DIR/bin/zjx", "zjx --background"},
        {"another program on the PATH", "DIR/lib/zjx", "DIR/bin/other", "DIR/lib/zjx --background"},
        {"none on the PATH", "DIR/lib/zjx", "", "DIR/lib/zjx --background"},
        {"a space", "/opt/my apps/zjx", "", R"("/opt/my apps/zjx" --background)"},
        {"quote, dollar, backslash, percent", R"(/opt/a$b\c"d%e/zjx)", "",
         R"("/opt/a\\$b\\\\c\\"d%%e/zjx" --background)"},
        {"percent alone needs no quotes", "/opt/100%/zjx", "", "/opt/100%%/zjx --background"},
        {"a name that is not UTF-8", QStringLiteral("/opt/a\uFFFD/zjx"), "", ""},
        {"a control character", QStringLiteral("/opt/a\u0001/zjx"), "", ""},
        {"a relative path", "zjx", "", ""},
    });
}

void TestBackground::execLine() {
    QFETCH(ExecRow, row);
    auto [name, program, onPath, line] = row;
    const QString dir = m_dir.path();
    QVERIFY(QDir(dir).mkpath(QStringLiteral("lib")) && QDir(dir).mkpath(QStringLiteral("bin")));
    for (const QString& file : {QStringLiteral("/lib/zjx"), QStringLiteral("/bin/other")}) {
        QFile f(dir + file);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QFile::link(dir + QStringLiteral("/lib/zjx"), dir + QStringLiteral("/bin/zjx"));
    for (QString* text : {&program, &onPath, &line})
        text->replace(QStringLiteral("DIR"), dir);
    QCOMPARE(AutostartEntry::command(program, onPath), line);
}

using EntryRow = std::tuple<const char*, QString>;

void TestBackground::entryIsWrittenValidAndRemoved_data() {
    addRows<EntryRow>({
        {"plain path", "/usr/lib/zjx/zjx"},
        {"every character a launcher treats specially", R"(/opt/my "apps" $HOME `x` \ 100% ~;&|*?#<>'/zjx)"},
    });
}

// The entry as desktop-file-validate reads it, in a configuration folder that is not there yet.
void TestBackground::entryIsWrittenValidAndRemoved() {
    QFETCH(EntryRow, row);
    const QString program = std::get<1>(row);
    const QString path = m_dir.filePath(QStringLiteral("config/autostart/cn.tansoft.zjx.desktop"));
    QVERIFY(!AutostartEntry::isOn(path));
    const Result written = AutostartEntry::write(path, program, QString());
    QVERIFY2(written.ok(), qPrintable(written.errorText()));
    QVERIFY(AutostartEntry::isOn(path));
    QCOMPARE(QFileInfo(m_dir.filePath(QStringLiteral("config"))).permissions() & 0x0077, 0);

    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(QStringLiteral(ZJX_DESKTOP_FILE_VALIDATE), {path});
    QVERIFY2(validate.waitForFinished(10000), "desktop-file-validate is not installed (scripts/deps.sh)");
    const QString said = QString::fromUtf8(validate.readAll());
    QVERIFY2(validate.exitCode() == 0 && said.isEmpty(), qPrintable(said));
    // What the launcher runs: the Exec value with the string escapes undone, the program quoted.
    const QString text = QString::fromUtf8(AutostartEntry::text(AutostartEntry::command(program, QString())));
    QVERIFY(text.contains(QStringLiteral("\nExec=") + AutostartEntry::execArgument(program) +
                          QStringLiteral(" --background\n")));

    QVERIFY(AutostartEntry::remove(path).ok());
    QVERIFY(!QFile::exists(path) && !AutostartEntry::isOn(path));
    QVERIFY(AutostartEntry::remove(path).ok()); // already gone is fine
    QDir(m_dir.filePath(QStringLiteral("config"))).removeRecursively();
}

void TestBackground::entryTurnedOffElsewhere_data() {
    // The written entry with one line replaced (the second text in place of the first).
    using Row = std::tuple<const char*, QString, QString, bool>;
    QTest::addColumn<Row>("row");
    for (const Row& row : std::initializer_list<Row>{
             {"as written", "", "", true},
             {"spaces around =", "Exec=zjx --background", "Exec = zjx --background", true},
             {"Hidden", "Terminal=false", "Hidden=true", false},
             {"switched off by the desktop's settings", "X-GNOME-Autostart-enabled=true",
              "X-GNOME-Autostart-enabled=false", false},
             {"started without --background", "Exec=zjx --background", "Exec=zjx", false},
             {"--background only in another group", "Exec=zjx --background",
              "Exec=zjx\n[Desktop Action x]\nExec=zjx --background", false},
         })
        QTest::newRow(std::get<0>(row)) << row;
}

void TestBackground::entryTurnedOffElsewhere() {
    using Row = std::tuple<const char*, QString, QString, bool>;
    QFETCH(Row, row);
    const auto [name, before, after, on] = row;
    QString text = QString::fromUtf8(AutostartEntry::text(QStringLiteral("zjx --background")));
    if (!before.isEmpty())
        text.replace(before, after);
    const QString path = m_dir.filePath(QStringLiteral("edited.desktop"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
    file.close();
    QCOMPARE(AutostartEntry::isOn(path), on);
}

using TipRow = std::tuple<const char*, int, int, bool, QTime, QString, QString>;

void TestBackground::toolTipAndBadge_data() {
    // tracked, unread, stopped for today, quiet until -> tooltip, badge
    addRows<TipRow>({
        {"tracking with news", 37, 3, false, QTime(), "正在跟踪 37 件快递,3 件有新进展", "3"},
        {"tracking, nothing new", 37, 0, false, QTime(), "正在跟踪 37 件快递", ""},
        {"night", 37, 0, false, QTime(7, 0), "夜间暂停,07:00 继续", ""},
        {"night with news", 37, 120, false, QTime(6, 30), "夜间暂停,06:30 继续\n120 件有新进展", "99+"},
        {"limit reached, also at night", 5, 99, true, QTime(7, 0), "今日查询已达上限\n99 件有新进展", "99"},
    });
}

void TestBackground::toolTipAndBadge() {
    QFETCH(TipRow, row);
    const auto [name, tracked, unread, stopped, quiet, tip, badge] = row;
    WatchSummary summary{tracked, unread, stopped, quiet.isValid() ? std::optional(quiet) : std::nullopt};
    QCOMPARE(summary.toolTip(), tip);
    QCOMPARE(WatchSummary::badge(unread), badge);
}

// Signed-for parcels are no longer tracked but their unopened news counts; the night and the day's
// limit come from the watch as it stands.
void TestBackground::summaryOfTheWatch() {
    const auto key = [](const char* number) {
        return ParcelKey{QString::fromLatin1(number), QStringLiteral("申通快递")};
    };
    QHash<ParcelKey, ParcelState> known;
    known[key("1")].state = QStringLiteral("运送中");
    known[key("1")].unseen = true;
    known[key("2")].state = QStringLiteral("已签收");
    known[key("2")].unseen = true;
    known[key("3")].state = QStringLiteral("已签收");
    known[key("9")].unseen = true; // not in the book (archived)
    ParcelStates states;
    states.replaceAll(known);
    BookWatch watch(states);
    const QList<ParcelKey> book{key("1"), key("2"), key("3"), key("4")};
    watch.setParcels(book);
    watch.setQuietHours(QTime(22, 0), QTime(7, 0));
    const QDateTime noon(QDate(2026, 12, 8), QTime(12, 0));
    Clock::setOverride([&] { return noon; });
    watch.setEnabled(true);

    QCOMPARE(WatchSummary::of(book, states, watch, noon), (WatchSummary{2, 2, false, std::nullopt}));
    QCOMPARE(WatchSummary::of(book, states, watch, noon.addSecs(11 * 3600)).quietUntil, QTime(7, 0));
    watch.setDailyLimit(10);
    states.setLedger({QStringLiteral("kuaidi100"), noon.date(), 10});
    QVERIFY(WatchSummary::of(book, states, watch, noon).stoppedForToday);
}

QTEST_GUILESS_MAIN(TestBackground)
#include "tst_background.moc"
