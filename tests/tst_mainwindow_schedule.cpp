#include "core/textcodec.h"
#include "gui/platform/alertplayer.h"
#include "gui/platform/desktopnotifier.h"
#include "gui/platform/messagebox.h"
#include "platform/environment.h"
#include "support/datarows.h"
#include "support/datatable.h"
#include "support/heldanswers.h"
#include "support/scriptedseams.h"
#include "support/testserver.h"
#include "gui/statusstrips.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>

using namespace zjx;
using namespace Qt::StringLiterals;
using zjx::test::CannedResponse;
using zjx::test::RecordedRequest;
using zjx::test::TestServer;
using namespace zjx::test;

namespace {

using Answer = MessageBox::Answer;

enum class State { TimedIdle, TimedArmed, LoopIdle, LoopRunning };
enum class Event { ToggleTimed, ToggleLoop, ShowLoopGroup, ShowTimedGroup };
// What keeps a due re-query waiting: a slow query from the add panel, the version check's request,
// the add panel's save question, or the loop's own slow re-query.
enum class Busy { ManualQuery, VersionCheck, SaveQuestion, OwnRequery };
// A row of the state table: its name, from, event, a parcel chosen, a time chosen, the answers to the
// questions asked, to, the messages shown.
using StateRow = std::tuple<const char*, State, Event, bool, bool, QList<Answer>, State, QStringList>;

const QByteArray book = codec::toGbk(QStringLiteral("111|申通快递|书\r\n222|顺丰快递|鞋\r\n"));

const QStringList inTransit{QStringLiteral("已收件"), QStringLiteral("运送中"), QStringLiteral("到达上海")};
// What the desktop is told of parcel 222 (鞋) in transit, as the quiet desktop records it.
const QString shoesInTransit = QStringLiteral("鞋 · 运送中: 2013-05-22 08:00:00\n到达上海");

std::unique_ptr<MainWindow> windowWithBook(const WindowFixture& fx, bool chooseParcel = true) {
    fx.writeStore(book);
    auto w = fx.makeWindow();
    // Chosen as after an earlier pick of "鞋", without starting a query now.
    if (chooseParcel)
        parcelSelector(*w)->setCurrentIndex(1);
    return w;
}

void bringTo(MainWindow& w, State state) {
    switch (state) {
    case State::TimedIdle:
        break;
    case State::TimedArmed:
        w.schedulePanel().toggleTimed();
        break;
    case State::LoopIdle:
        w.schedulePanel().showLoopGroup();
        break;
    case State::LoopRunning:
        w.schedulePanel().showLoopGroup();
        intervalBox(w)->setCurrentIndex(4);
        w.schedulePanel().toggleLoop();
        break;
    }
    test::ScriptedBoxes::clearShown();
}

void fire(MainWindow& w, Event event) {
    switch (event) {
    case Event::ToggleTimed:
        w.schedulePanel().toggleTimed();
        break;
    case Event::ToggleLoop:
        w.schedulePanel().toggleLoop();
        break;
    case Event::ShowLoopGroup:
        w.schedulePanel().showLoopGroup();
        break;
    case Event::ShowTimedGroup:
        w.schedulePanel().showTimedGroup();
        break;
    }
}

// The visible group, both captions, both timers and every lock tell the state together.
bool isIn(MainWindow& w, State state) {
    const bool timedShown = state == State::TimedIdle || state == State::TimedArmed;
    const bool armed = state == State::TimedArmed;
    const bool running = state == State::LoopRunning;
    bool ok = true;
    auto check = [&ok](bool condition, const char* what) {
        if (!condition) {
            qWarning("state differs in: %s", what);
            ok = false;
        }
    };
    check(timedGroup(w)->isVisibleTo(schedulePanelFrame(w)) == timedShown, "timed group visible");
    check(loopGroup(w)->isVisibleTo(schedulePanelFrame(w)) == !timedShown, "loop group visible");
    check(timedButton(w)->text() == (armed ? QStringLiteral("关闭定时") : QStringLiteral("开始定时")), "timed button");
    check(loopButton(w)->text() == (running ? QStringLiteral("停止循环") : QStringLiteral("开始循环")), "loop button");
    check(w.requerySchedule().timedClock().isActive() == armed, "timed clock");
    check(w.requerySchedule().loopClock().isActive() == running, "loop clock");
    const bool locked = armed || running;
    const auto button = [](QWidget& part, const QString& caption) { return named<QPushButton>(&part, caption); };
    for (const QWidget* c : QList<QWidget*>{parcelSelector(w), companyBox(w), button(w.parcelPanel(), u"删除"_s),
                                            button(w, u"清空"_s), button(w, u"添加"_s), button(w.addPanel(), u"快捷搜索"_s)})
        check(c->isEnabled() == !locked, qPrintable(c->objectName()));
    check(hourBox(w)->isEnabled() == !armed && minuteBox(w)->isEnabled() == !armed, "hour and minute");
    check(intervalBox(w)->isEnabled() == !running, "interval");
    // Commands that stay usable in every state (the query button is off only while a query runs).
    for (const QWidget* c : {button(w.parcelPanel(), u"修改"_s), button(w.parcelPanel(), u"复制"_s), button(w, u"操作"_s),
                             button(w, u"导出"_s), button(w, u"设置"_s)})
        check(c->isEnabled(), qPrintable(c->objectName()));
    return ok;
}

QStringList requestedNumbers(const TestServer& server) {
    QStringList numbers;
    for (const RecordedRequest& r : server.requests())
        if (r.path == "/")
            numbers << QString::fromStdString(r.param("nu"));
    return numbers;
}

} // namespace

Q_DECLARE_METATYPE(State)
Q_DECLARE_METATYPE(Event)
Q_DECLARE_METATYPE(Busy)
Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(StateRow)

class TestMainWindowSchedule : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void stateTable_data();
    void stateTable();
    void framesTakeEachOthersPlace();
    void timedQueryFiresOnceAtTheSetMinute();
    void timedQueryArmedForNowFiresWithinASecond();
    void loopQueryFiresOnTheNthTick();
    void lockedControlsRefuseTheUser();
    void automaticRequeryVerdictAndAlert_data();
    void automaticRequeryVerdictAndAlert();
    void requeryDueWhileBusy_data();
    void requeryDueWhileBusy();
    void requeryOutlivesAReloadOfTheBook_data();
    void requeryOutlivesAReloadOfTheBook();
};

void TestMainWindowSchedule::stateTable_data() {
    const QList<Answer> none, yes{Answer::Yes}, no{Answer::No};
    const QStringList noParcelTimed{u"请先查询单号后在使用定时功能!"_s}, noParcelLoop{u"请先查询单号后在使用本功能!"_s};
    const QStringList stopTimed{u"当前正在定时查询,是否终止?"_s}, stopLoop{u"当前正在循环查询,是否终止?"_s};
    using enum State;
    using enum Event;
    const StateRow rows[] = {
        {"timed idle: arm", TimedIdle, ToggleTimed, true, true, none, TimedArmed, {}},
        {"timed idle: arm without parcel", TimedIdle, ToggleTimed, false, true, none, TimedIdle, noParcelTimed},
        {"timed idle: arm without minute", TimedIdle, ToggleTimed, true, false, none, TimedIdle, {u"请设定查询时间!"_s}},
        {"loop idle: start without interval", LoopIdle, ToggleLoop, true, false, none, LoopIdle, {u"请先设定时间!"_s}},
        {"timed armed: disarm", TimedArmed, ToggleTimed, true, true, none, TimedIdle, {}},
        {"timed idle: to loop", TimedIdle, ShowLoopGroup, true, true, none, LoopIdle, {}},
        {"timed armed: to loop, Yes", TimedArmed, ShowLoopGroup, true, true, yes, LoopIdle, stopTimed},
        {"timed armed: to loop, No", TimedArmed, ShowLoopGroup, true, true, no, TimedArmed, stopTimed},
        {"loop idle: start", LoopIdle, ToggleLoop, true, true, none, LoopRunning, {}},
        {"loop idle: start without parcel", LoopIdle, ToggleLoop, false, true, none, LoopIdle, noParcelLoop},
        {"loop running: stop", LoopRunning, ToggleLoop, true, true, none, LoopIdle, {}},
        {"loop idle: to timed", LoopIdle, ShowTimedGroup, true, true, none, TimedIdle, {}},
        {"loop running: to timed, Yes", LoopRunning, ShowTimedGroup, true, true, yes, TimedIdle, stopLoop},
        {"loop running: to timed, No", LoopRunning, ShowTimedGroup, true, true, no, LoopRunning, stopLoop},
    };
    addRows(rows);
}

void TestMainWindowSchedule::stateTable() {
    QFETCH(StateRow, row);
    const auto& [name, from, event, parcelChosen, timeChosen, answers, to, messages] = row;
    WindowFixture fx;
    auto w = windowWithBook(fx);
    bringTo(*w, from);
    QVERIFY(isIn(*w, from));
    if (!parcelChosen)
        parcelSelector(*w)->setCurrentIndex(-1);
    if (from == State::LoopIdle)
        intervalBox(*w)->setCurrentIndex(timeChosen ? 4 : -1);
    else if (!timeChosen)
        minuteBox(*w)->setCurrentIndex(-1);
    w->requerySchedule().setLoopMinutes(3);
    for (Answer a : answers)
        test::ScriptedBoxes::setNextAnswer(a);

    fire(*w, event);

    QVERIFY(isIn(*w, to));
    QCOMPARE(test::ScriptedBoxes::shownTexts(), messages);
    for (const test::ScriptedBoxes::Shown& box : test::ScriptedBoxes::shown()) {
        QCOMPARE(box.icon, MessageBox::Icon::Information);
        QCOMPARE(box.buttons, answers.isEmpty() ? MessageBox::Buttons::Ok : MessageBox::Buttons::YesNo);
    }
    // Starting, stopping or leaving the loop restarts its count; nothing else touches it.
    const bool loopChanged = (from == State::LoopRunning) != (to == State::LoopRunning) ||
                             (from == State::LoopIdle && to == State::TimedIdle);
    QCOMPARE(w->requerySchedule().loopMinutes(), qint16(loopChanged ? 0 : 3));
    QCOMPARE(parcelSelector(*w)->currentIndex(), parcelChosen ? 1 : -1);
}

void TestMainWindowSchedule::framesTakeEachOthersPlace() {
    WindowFixture fx;
    auto w = windowWithBook(fx);
    timedGroup(*w)->move(20, 44);
    w->schedulePanel().showLoopGroup();
    QCOMPARE(loopGroup(*w)->pos(), QPoint(20, 44));
    loopGroup(*w)->move(8, 40);
    w->schedulePanel().showTimedGroup();
    QCOMPARE(timedGroup(*w)->pos(), QPoint(8, 40));
}

void TestMainWindowSchedule::timedQueryFiresOnceAtTheSetMinute() {
    QDateTime now(QDate(2013, 5, 20), QTime(10, 29, 59));
    TestServer server;
    server.setResponse("/", {200, TestServer::trackingPage(inTransit)});
    WindowFixture fx(server.hostPort());
    auto w = windowWithBook(fx);
    Clock::setOverride([&now] { return now; });
    // The clock in the hint strip reads the same clock, in local time.
    w->strips().showClock();
    QVERIFY2(w->strips().text(StatusStrips::Clock).contains(QStringLiteral("10:29:59")), qPrintable(w->strips().text(StatusStrips::Clock)));
    QVERIFY(!w->strips().text(StatusStrips::Clock).contains(QStringLiteral("UTC")) && !w->strips().text(StatusStrips::Clock).contains("GMT"));
    hourBox(*w)->setCurrentText(QStringLiteral("10"));
    minuteBox(*w)->setCurrentText(QStringLiteral("30"));
    w->schedulePanel().toggleTimed();
    QVERIFY(isIn(*w, State::TimedArmed));
    // Ticks come faster than the answer, so any tick left running during the wait would fire again.
    w->requerySchedule().timedClock().setInterval(10);
    server.setResponse("/", {200, TestServer::trackingPage(inTransit), "text/html; charset=GBK", 300});

    w->requerySchedule().timedTick();
    QVERIFY(requestedNumbers(server).isEmpty());
    QVERIFY(isIn(*w, State::TimedArmed));

    now = now.addSecs(1);
    w->requerySchedule().timedTick();
    QCOMPARE(requestedNumbers(server), QStringList{QStringLiteral("222")});
    QVERIFY(isIn(*w, State::TimedIdle));
    QTRY_COMPARE(w->strips().text(StatusStrips::Verdict), QStringLiteral("有更新"));
    QVERIFY(!w->requerySchedule().timedClock().isActive()); // nothing is left that could ask again
    QCOMPARE(requestedNumbers(server), QStringList{QStringLiteral("222")});
    QCOMPARE(progressRows(*w)->topLevelItemCount(), 3);
    QCOMPARE(test::QuietDesktop::takeShown(), QStringList{shoesInTransit});
}

void TestMainWindowSchedule::timedQueryArmedForNowFiresWithinASecond() {
    TestServer server;
    server.setResponse("/", {200, TestServer::trackingPage(inTransit)});
    WindowFixture fx(server.hostPort());
    auto w = windowWithBook(fx);
    Clock::setOverride([] { return QDateTime(QDate(2013, 5, 20), QTime(0, 0, 42)); });
    w->schedulePanel().toggleTimed(); // preset to 0 and 0: midnight
    QVERIFY(w->requerySchedule().timedClock().isActive());
    QTRY_COMPARE_WITH_TIMEOUT(requestedNumbers(server), QStringList{QStringLiteral("222")}, 2000);
    QVERIFY(isIn(*w, State::TimedIdle));
}

void TestMainWindowSchedule::loopQueryFiresOnTheNthTick() {
    TestServer server;
    server.setResponse("/", {200, TestServer::trackingPage(inTransit)});
    WindowFixture fx(server.hostPort());
    auto w = windowWithBook(fx);
    w->schedulePanel().showLoopGroup();
    intervalBox(*w)->setCurrentText(QStringLiteral("3"));
    w->schedulePanel().toggleLoop();
    QCOMPARE(w->requerySchedule().loopClock().interval(), 60000);

    w->requerySchedule().loopTick();
    w->requerySchedule().loopTick();
    QCOMPARE(w->requerySchedule().loopMinutes(), qint16(2));
    QVERIFY(requestedNumbers(server).isEmpty());
    w->requerySchedule().loopTick();
    QCOMPARE(requestedNumbers(server).size(), 1);
    QCOMPARE(w->requerySchedule().loopMinutes(), qint16(0));
    QVERIFY(isIn(*w, State::LoopRunning));
    QTRY_COMPARE(progressRows(*w)->topLevelItemCount(), 3);

    // Stopping and starting again counts from 0: two minutes before the stop do not carry over.
    w->requerySchedule().loopTick();
    w->requerySchedule().loopTick();
    w->schedulePanel().toggleLoop();
    w->schedulePanel().toggleLoop();
    QCOMPARE(w->requerySchedule().loopMinutes(), qint16(0));
    w->requerySchedule().loopTick();
    w->requerySchedule().loopTick();
    QCOMPARE(requestedNumbers(server).size(), 1);
    w->requerySchedule().loopTick();
    QCOMPARE(requestedNumbers(server).size(), 2);
    QCOMPARE(requestedNumbers(server).last(), QStringLiteral("222"));
    QCOMPARE(test::QuietDesktop::takeShown(), QStringList{shoesInTransit}); // the same event is told once
}

void TestMainWindowSchedule::lockedControlsRefuseTheUser() {
    TestServer server;
    server.setResponse("/", {200, TestServer::trackingPage(inTransit)});
    WindowFixture fx(server.hostPort());
    auto w = windowWithBook(fx);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    w->addPanel().openEmpty(); // the add panel is open before the mode starts
    numberBox(*w)->setEditText(QStringLiteral("333"));
    noteBox(*w)->setText(QStringLiteral("伞"));
    w->schedulePanel().toggleTimed();
    QVERIFY(isIn(*w, State::TimedArmed));

    QTest::mouseClick(windowButton(*w, QStringLiteral("清空")), Qt::LeftButton); // 清空 would ask first
    QVERIFY(test::ScriptedBoxes::shown().isEmpty());
    QCOMPARE(parcelSelector(*w)->count(), 2);
    QTest::mouseClick(windowButton(*w, QStringLiteral("添加")), Qt::LeftButton); // 添加 would empty the number box
    QCOMPARE(numberBox(*w)->currentText(), QStringLiteral("333"));

    // The query button of the add panel opened before still works.
    QTest::mouseClick(queryButton(*w), Qt::LeftButton);
    QCOMPARE(requestedNumbers(server), QStringList{QStringLiteral("333")});
    QTRY_COMPARE(progressRows(*w)->topLevelItemCount(), 3);
    QVERIFY(isIn(*w, State::TimedArmed));
}

// The loop's re-queries compare the latest event with the one last shown for the parcel: news (a
// new event, a delivery) is heard and, with the window away, told to the desktop once; the same
// event again is silent. The user's own choice in the selector is judged as always and never told.
void TestMainWindowSchedule::automaticRequeryVerdictAndAlert_data() {
    // Chosen: the answer the user saw first (empty: none).
    addColumns<QStringList, QList<QStringList>, QStringList, QStringList>("chosen", "answers", "verdicts", "notices");
    const QStringList out = inTransit + QStringList{QStringLiteral("派件中")};
    const QStringList done = out + QStringList{QStringLiteral("已签收,签收人:本人")};
    const QString news = QStringLiteral("有更新"), none = QStringLiteral("无更新");
    QTest::newRow("gains an event, stays, is signed for")
        << inTransit << QList<QStringList>{inTransit, out, out, done, done} << QStringList{none, news, none, news, none}
        << QStringList{QStringLiteral("鞋 · 派件中"), QStringLiteral("鞋 · 已送达")};
    QTest::newRow("nothing shown before") << QStringList() << QList<QStringList>{inTransit, inTransit}
                                          << QStringList{news, none} << QStringList{QStringLiteral("鞋 · 运送中")};
    QTest::newRow("signed for when first seen")
        << QStringList() << QList<QStringList>{done, done} << QStringList{news, none}
        << QStringList{QStringLiteral("鞋 · 已送达")};
}

void TestMainWindowSchedule::automaticRequeryVerdictAndAlert() {
    QFETCH(QStringList, chosen);
    QFETCH(QList<QStringList>, answers);
    QFETCH(QStringList, verdicts);
    QFETCH(QStringList, notices);

    TestServer server;
    WindowFixture fx(server.hostPort());
    auto w = windowWithBook(fx);
    QStringList told;
    DesktopNotifier::setHandler([&told](const QString&, const QString& summary, const QString&) { told << summary; });
    int userAlerts = 0;
    if (!chosen.isEmpty()) {
        server.setResponse("/", {200, TestServer::trackingPage(chosen)});
        w->askAboutChosen();
        QTRY_COMPARE(progressRows(*w)->topLevelItemCount(), chosen.size());
        userAlerts = 1; // the first answer after start-up has more entries than none
    }
    w->schedulePanel().showLoopGroup();
    intervalBox(*w)->setCurrentText(QStringLiteral("1"));
    w->schedulePanel().toggleLoop();

    QStringList shown;
    for (const QStringList& answer : answers) {
        server.setResponse("/", {200, TestServer::trackingPage(answer)});
        w->strips().setText(StatusStrips::Verdict, QString());
        w->requerySchedule().loopTick();
        // The verdict of this answer (not the "未查询" of a parcel just switched to).
        QTRY_VERIFY(!w->strips().text(StatusStrips::Verdict).isEmpty() &&
                    w->strips().text(StatusStrips::Verdict) != QStringLiteral("未查询"));
        shown << w->strips().text(StatusStrips::Verdict);
        QCOMPARE(w->strips().colour(StatusStrips::Verdict),
                 shown.last() == QStringLiteral("有更新") ? QColor(255, 0, 0) : QColor(255, 255, 255));
    }
    test::QuietDesktop::install();
    QCOMPARE(shown, verdicts);
    QCOMPARE(told, notices);
    QCOMPARE(test::ScriptedAlerts::timesStarted(w->alertPlayer()), userAlerts + int(verdicts.count(QStringLiteral("有更新"))));
    QCOMPARE(server.requests().first().param("com"), std::string("shunfeng"));
}

// A loop minute or the timed minute that ends while something else waits runs once that has ended:
// never two requests at once, minutes that meet in the wait are one re-query, the re-query's list is
// the last one shown, and nothing runs when the user stopped its mode meanwhile.
void TestMainWindowSchedule::requeryDueWhileBusy_data() {
    // Stopped: the user stops the mode while it waits; chimes: -1 when not looked at.
    addColumns<State, Busy, bool, QStringList, int>("mode", "busy", "stopped", "requested", "chimes");
    const QString manual = QStringLiteral("333"), unknown = QStringLiteral("444"), chosen = QStringLiteral("222");
    QTest::newRow("loop, during a slow manual query")
        << State::LoopRunning << Busy::ManualQuery << false << QStringList{manual, chosen} << 2;
    QTest::newRow("timed, during a slow manual query")
        << State::TimedArmed << Busy::ManualQuery << false << QStringList{manual, chosen} << -1;
    QTest::newRow("loop stopped while it waits")
        << State::LoopRunning << Busy::ManualQuery << true << QStringList{manual} << -1;
    QTest::newRow("timed disarmed while it waits")
        << State::TimedArmed << Busy::ManualQuery << true << QStringList{manual} << -1;
    QTest::newRow("loop, during the version check")
        << State::LoopRunning << Busy::VersionCheck << false << QStringList{chosen} << -1;
    QTest::newRow("loop, while the save question is open")
        << State::LoopRunning << Busy::SaveQuestion << false << QStringList{unknown, chosen} << -1;
    QTest::newRow("loop, minutes passing during its own re-query")
        << State::LoopRunning << Busy::OwnRequery << false << QStringList{chosen, chosen} << -1;
}

void TestMainWindowSchedule::requeryDueWhileBusy() {
    QFETCH(State, mode);
    QFETCH(Busy, busy);
    QFETCH(bool, stopped);
    QFETCH(QStringList, requested);
    QFETCH(int, chimes);
    TestServer server;
    // The slow answers are held at the server until the test has let the minutes end (or stopped the
    // mode) while the request is on its way, however slowly this machine runs.
    HeldAnswers held;
    std::atomic<int> inFlight{0};
    std::atomic<int> mostInFlight{0};
    const TestServer::Handler trackingPage = [](const RecordedRequest& r) {
        const std::string number = r.param("nu");
        const QStringList progress = number == "333" ? QStringList{QStringLiteral("已收件")} : inTransit;
        return number == "444" ? CannedResponse{200, TestServer::gbk(QStringLiteral("<p>单号不存在</p>"))}
                               : CannedResponse{200, TestServer::trackingPage(progress)};
    };
    const TestServer::Handler heldTrackingPage = held.holding(trackingPage);
    server.setHandler("/", [&](const RecordedRequest& r) {
        mostInFlight = std::max(mostInFlight.load(), ++inFlight);
        const bool slow = r.param("nu") == "333" || busy == Busy::OwnRequery;
        const CannedResponse answer = slow ? heldTrackingPage(r) : trackingPage(r);
        --inFlight;
        return answer;
    });
    const std::string versionPath = "/tansoftjc/zjx/jc.txt";
    server.setHandler(versionPath, held.holding([](const RecordedRequest&) {
        return CannedResponse{200, QByteArray("V4.0")};
    }));
    WindowFixture fx(server.hostPort());
    auto w = windowWithBook(fx);
    Clock::setOverride([] { return QDateTime(QDate(2013, 5, 20), QTime(0, 0, 42)); }); // the timed query's minute
    bringTo(*w, mode);
    intervalBox(*w)->setCurrentText(busy == Busy::OwnRequery ? QStringLiteral("2") : QStringLiteral("1"));
    const bool loop = mode == State::LoopRunning;
    const auto minuteEnds = [&w, loop] {
        if (loop)
            w->requerySchedule().loopTick();
        else
            w->requerySchedule().timedTick();
    };
    const auto typeParcel = [&w](const QString& number) {
        w->addPanel().openEmpty();
        typeIntoAddPanel(*w, number, u"申通快递"_s, u"伞"_s);
    };
    const auto release = [&held] { held.release(); };
    // True once the server has the one request that is being held.
    const auto onItsWay = [&server] { return server.requests().size() == 1; };

    switch (busy) {
    case Busy::ManualQuery:
        typeParcel(QStringLiteral("333"));
        onceReady(w.get(), onItsWay,
                  {minuteEnds,
                   [&] {
                       if (stopped)
                           fire(*w, loop ? Event::ToggleLoop : Event::ToggleTimed);
                       else
                           minuteEnds();
                   },
                   release});
        w->startQuery();
        QCOMPARE(requestedNumbers(server), QStringList{QStringLiteral("333")});
        break;
    case Busy::VersionCheck:
        onceReady(w.get(), onItsWay, {minuteEnds, release});
        w->checkVersion();
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests().constFirst().path, versionPath);
        break;
    case Busy::SaveQuestion: {
        typeParcel(QStringLiteral("444"));
        QStringList requestedWhileOpen;
        test::ScriptedBoxes::setWhileShown([&] {
            minuteEnds();
            requestedWhileOpen = requestedNumbers(server);
        });
        test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::No);
        w->startQuery();
        QCOMPARE(requestedWhileOpen, QStringList{QStringLiteral("444")});
        break;
    }
    case Busy::OwnRequery:
        minuteEnds(); // the first of two minutes
        // The second starts the re-query; two more minutes end while it is on its way.
        onceReady(w.get(), onItsWay, {minuteEnds, minuteEnds, release});
        minuteEnds();
        QCOMPARE(requestedNumbers(server).size(), 1);
        break;
    }
    QTRY_COMPARE(requestedNumbers(server), requested);
    if (requested.last() == QStringLiteral("222"))
        QTRY_COMPARE(progressRows(*w)->topLevelItemCount(), 3);
    for (int round = 0; round < 3; ++round) // nothing else follows: no re-query left waiting to run
        QCoreApplication::processEvents();
    QCOMPARE(requestedNumbers(server), requested);
    QCOMPARE(test::QuietDesktop::takeShown(),
             requested.contains(u"222"_s) ? QStringList{shoesInTransit} : QStringList());
    QCOMPARE(mostInFlight.load(), 1);
    QCOMPARE(test::ScriptedBoxes::shownTexts().size(), busy == Busy::SaveQuestion ? 1 : 0);
    if (chimes >= 0) {
        QTRY_COMPARE(w->strips().text(StatusStrips::Verdict), QStringLiteral("有更新"));
        QCOMPARE(test::ScriptedAlerts::timesStarted(w->alertPlayer()), chimes);
    }
    if (busy == Busy::OwnRequery)
        QCOMPARE(w->requerySchedule().loopMinutes(), qint16(0));
    // A timed query that has fired, or a mode the user stopped, is idle. (The version check, run here
    // a second time, releases the selector as at start-up: the lock is not looked at then.)
    if (busy != Busy::VersionCheck)
        QVERIFY(isIn(*w, loop && !stopped ? State::LoopRunning : loop ? State::LoopIdle : State::TimedIdle));
}

// Saving an unknown number from the add panel reloads the book; the running mode keeps asking
// about the chosen parcel afterwards.
void TestMainWindowSchedule::requeryOutlivesAReloadOfTheBook_data() {
    // Via the add panel, or else the chosen parcel itself is unknown to the service.
    addColumns<State, bool>("mode", "viaAddPanel");
    QTest::newRow("loop, add panel") << State::LoopRunning << true;
    QTest::newRow("timed, add panel") << State::TimedArmed << true;
    QTest::newRow("loop, chosen parcel unknown") << State::LoopRunning << false;
}

void TestMainWindowSchedule::requeryOutlivesAReloadOfTheBook() {
    QFETCH(State, mode);
    QFETCH(bool, viaAddPanel);
    const std::string unknown = viaAddPanel ? "444" : "222";
    TestServer server;
    server.setHandler("/", [&](const RecordedRequest& r) {
        return r.param("nu") == unknown ? CannedResponse{200, TestServer::gbk(QStringLiteral("<p>单号不存在</p>"))}
                                        : CannedResponse{200, TestServer::trackingPage(inTransit)};
    });
    WindowFixture fx(server.hostPort());
    auto w = windowWithBook(fx, false);
    test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::Yes); // save the unknown chosen parcel
    parcelSelector(*w)->setCurrentIndex(1);
    w->askAboutChosen();
    QTRY_VERIFY(queryButton(*w)->isEnabled());
    Clock::setOverride([] { return QDateTime(QDate(2013, 5, 20), QTime(0, 0, 42)); }); // the timed query's minute
    bringTo(*w, mode);
    QVERIFY(isIn(*w, mode));
    intervalBox(*w)->setCurrentText(QStringLiteral("1")); // every loop minute asks
    if (viaAddPanel) {
        w->addPanel().openEmpty();
        numberBox(*w)->setEditText(QStringLiteral("444"));
        noteBox(*w)->setText(QStringLiteral("书包"));
        test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::Yes);
        w->startQuery();
        QCOMPARE(w->bookKeeper().records().size(), 3);
    }
    server.clearRequests();
    if (!viaAddPanel)
        test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::No); // the re-query finds it unknown again
    if (mode == State::LoopRunning)
        w->requerySchedule().loopTick();
    else
        w->requerySchedule().timedTick();
    QCOMPARE(requestedNumbers(server), QStringList{QStringLiteral("222")});
    QCOMPARE(test::ScriptedBoxes::shownTexts().last(),
             viaAddPanel ? QStringLiteral("单号已成功保存")
                         : QStringLiteral("您好,您当前输入的单号不存在有效信息,是否先进行保存?"));
}

QTEST_MAIN(TestMainWindowSchedule)
#include "tst_mainwindow_schedule.moc"
