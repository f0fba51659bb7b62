#include "core/textcodec.h"
#include "gui/platform/alertplayer.h"
#include "gui/platform/desktopnotifier.h"
#include "gui/platform/messagebox.h"
#include "platform/environment.h"
#include "support/scriptedseams.h"
#include "support/testserver.h"
#include "support/windowfixture.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>

using namespace zjx;
using namespace Qt::StringLiterals;
using zjx::test::CannedResponse;
using zjx::test::RecordedRequest;
using zjx::test::TestServer;
using zjx::test::WindowFixture;

namespace {

using Answer = MessageBox::Answer;

enum class State { TimedIdle, TimedArmed, LoopIdle, LoopRunning };
enum class Event { Command8, Command5, Command10, Command11 };
// What keeps a due re-query waiting: a slow query from the add panel, the version check's request,
// the add panel's save question, or the loop's own slow re-query.
enum class Busy { ManualQuery, VersionCheck, SaveQuestion, OwnRequery };

const QByteArray book = codec::toGbk(QStringLiteral("111|申通快递|书\r\n222|顺丰快递|鞋\r\n"));

const QStringList inTransit{QStringLiteral("已收件"), QStringLiteral("运送中"), QStringLiteral("到达上海")};
// What the desktop is told of parcel 222 (鞋) in transit, as the quiet desktop records it.
const QString shoesInTransit = QStringLiteral("鞋 · 运送中: 2013-05-22 08:00:00\n到达上海");

std::unique_ptr<MainWindow> windowWithBook(const WindowFixture& fx, bool chooseParcel = true) {
    fx.writeStore(book);
    auto w = fx.makeWindow();
    // Chosen as after an earlier pick of "鞋", without starting a query now.
    if (chooseParcel)
        w->Text1->setCurrentIndex(1);
    return w;
}

void bringTo(MainWindow& w, State state) {
    switch (state) {
    case State::TimedIdle:
        break;
    case State::TimedArmed:
        w.Command8_Click();
        break;
    case State::LoopIdle:
        w.Command10_Click();
        break;
    case State::LoopRunning:
        w.Command10_Click();
        w.Combo4->setCurrentIndex(4);
        w.Command5_Click();
        break;
    }
    test::ScriptedBoxes::clearShown();
}

void fire(MainWindow& w, Event event) {
    switch (event) {
    case Event::Command8:
        w.Command8_Click();
        break;
    case Event::Command5:
        w.Command5_Click();
        break;
    case Event::Command10:
        w.Command10_Click();
        break;
    case Event::Command11:
        w.Command11_Click();
        break;
    }
}

// The visible group, both captions, both timers and every lock tell the state together.
bool isIn(const MainWindow& w, State state) {
    const bool timedGroup = state == State::TimedIdle || state == State::TimedArmed;
    const bool armed = state == State::TimedArmed;
    const bool running = state == State::LoopRunning;
    bool ok = true;
    auto check = [&ok](bool condition, const char* what) {
        if (!condition) {
            qWarning("state differs in: %s", what);
            ok = false;
        }
    };
    check(w.Frame4->isVisibleTo(w.Picture4) == timedGroup, "Frame4 visible");
    check(w.Frame6->isVisibleTo(w.Picture4) == !timedGroup, "Frame6 visible");
    check(w.Command8->text() == (armed ? QStringLiteral("关闭定时") : QStringLiteral("开始定时")), "Command8");
    check(w.Command5->text() == (running ? QStringLiteral("停止循环") : QStringLiteral("开始循环")), "Command5");
    check(w.Timer4->isActive() == armed, "Timer4");
    check(w.Timer6->isActive() == running, "Timer6");
    const bool locked = armed || running;
    for (const QWidget* c :
         {static_cast<QWidget*>(w.Text1), static_cast<QWidget*>(w.Combo1), static_cast<QWidget*>(w.Command9),
          static_cast<QWidget*>(w.Command7), static_cast<QWidget*>(w.Command3), static_cast<QWidget*>(w.Command2)})
        check(c->isEnabled() == !locked, qPrintable(c->objectName()));
    check(w.Combo2->isEnabled() == !armed && w.Combo3->isEnabled() == !armed, "Combo2/Combo3");
    check(w.Combo4->isEnabled() == !running, "Combo4");
    // Commands that stay usable in every state (the query button is off only while a query runs).
    for (const QWidget* c :
         {static_cast<QWidget*>(w.Command13), static_cast<QWidget*>(w.Command12), static_cast<QWidget*>(w.Command14),
          static_cast<QWidget*>(w.Command6), static_cast<QWidget*>(w.Command4)})
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
    QTest::addColumn<State>("from");
    QTest::addColumn<Event>("event");
    QTest::addColumn<bool>("parcelChosen");
    QTest::addColumn<bool>("timeChosen");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<State>("to");
    QTest::addColumn<QStringList>("messages");

    const QList<Answer> none;
    const QString noParcelTimed = QStringLiteral("请先查询单号后在使用定时功能!");
    const QString noParcelLoop = QStringLiteral("请先查询单号后在使用本功能!");
    const QString stopTimed = QStringLiteral("当前正在定时查询,是否终止?");
    const QString stopLoop = QStringLiteral("当前正在循环查询,是否终止?");

    QTest::newRow("timed idle: arm") << State::TimedIdle << Event::Command8 << true << true << none << State::TimedArmed
                                     << QStringList();
    QTest::newRow("timed idle: arm without parcel") << State::TimedIdle << Event::Command8 << false << true << none
                                                    << State::TimedIdle << QStringList{noParcelTimed};
    QTest::newRow("timed idle: arm without minute")
        << State::TimedIdle << Event::Command8 << true << false << none << State::TimedIdle
        << QStringList{QStringLiteral("请设定查询时间!")};
    QTest::newRow("loop idle: start without interval")
        << State::LoopIdle << Event::Command5 << true << false << none << State::LoopIdle
        << QStringList{QStringLiteral("请先设定时间!")};
    QTest::newRow("timed armed: disarm") << State::TimedArmed << Event::Command8 << true << true << none
                                         << State::TimedIdle << QStringList();
    QTest::newRow("timed idle: to loop") << State::TimedIdle << Event::Command10 << true << true << none
                                         << State::LoopIdle << QStringList();
    QTest::newRow("timed armed: to loop, Yes")
        << State::TimedArmed << Event::Command10 << true << true << QList<Answer>{Answer::Yes} << State::LoopIdle
        << QStringList{stopTimed};
    QTest::newRow("timed armed: to loop, No")
        << State::TimedArmed << Event::Command10 << true << true << QList<Answer>{Answer::No} << State::TimedArmed
        << QStringList{stopTimed};
    QTest::newRow("loop idle: start") << State::LoopIdle << Event::Command5 << true << true << none
                                      << State::LoopRunning << QStringList();
    QTest::newRow("loop idle: start without parcel")
        << State::LoopIdle << Event::Command5 << false << true << none << State::LoopIdle << QStringList{noParcelLoop};
    QTest::newRow("loop running: stop") << State::LoopRunning << Event::Command5 << true << true << none
                                        << State::LoopIdle << QStringList();
    QTest::newRow("loop idle: to timed") << State::LoopIdle << Event::Command11 << true << true << none
                                         << State::TimedIdle << QStringList();
    QTest::newRow("loop running: to timed, Yes")
        << State::LoopRunning << Event::Command11 << true << true << QList<Answer>{Answer::Yes} << State::TimedIdle
        << QStringList{stopLoop};
    QTest::newRow("loop running: to timed, No")
        << State::LoopRunning << Event::Command11 << true << true << QList<Answer>{Answer::No} << State::LoopRunning
        << QStringList{stopLoop};
}

void TestMainWindowSchedule::stateTable() {
    QFETCH(State, from);
    QFETCH(Event, event);
    QFETCH(bool, parcelChosen);
    QFETCH(bool, timeChosen);
    QFETCH(QList<Answer>, answers);
    QFETCH(State, to);
    QFETCH(QStringList, messages);

    WindowFixture fx;
    auto w = windowWithBook(fx);
    bringTo(*w, from);
    QVERIFY(isIn(*w, from));
    if (!parcelChosen)
        w->Text1->setCurrentIndex(-1);
    if (from == State::LoopIdle)
        w->Combo4->setCurrentIndex(timeChosen ? 4 : -1);
    else if (!timeChosen)
        w->Combo3->setCurrentIndex(-1);
    w->loopMinutes = 3;
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
    QCOMPARE(w->loopMinutes, qint16(loopChanged ? 0 : 3));
    QCOMPARE(w->Text1->currentIndex(), parcelChosen ? 1 : -1);
}

void TestMainWindowSchedule::framesTakeEachOthersPlace() {
    WindowFixture fx;
    auto w = windowWithBook(fx);
    w->Frame4->move(20, 44);
    w->Command10_Click();
    QCOMPARE(w->Frame6->pos(), QPoint(20, 44));
    w->Frame6->move(8, 40);
    w->Command11_Click();
    QCOMPARE(w->Frame4->pos(), QPoint(8, 40));
}

void TestMainWindowSchedule::timedQueryFiresOnceAtTheSetMinute() {
    QDateTime now(QDate(2013, 5, 20), QTime(10, 29, 59));
    TestServer server;
    server.setResponse("/", {200, TestServer::trackingPage(inTransit)});
    WindowFixture fx(server.hostPort());
    auto w = windowWithBook(fx);
    Clock::setOverride([&now] { return now; });
    // The clock in the hint strip reads the same clock, in local time.
    w->Timer5_Timer();
    QVERIFY2(w->Label11[5]->text().contains(QStringLiteral("10:29:59")), qPrintable(w->Label11[5]->text()));
    QVERIFY(!w->Label11[5]->text().contains(QStringLiteral("UTC")) && !w->Label11[5]->text().contains("GMT"));
    w->Combo2->setCurrentText(QStringLiteral("10"));
    w->Combo3->setCurrentText(QStringLiteral("30"));
    w->Command8_Click();
    QVERIFY(isIn(*w, State::TimedArmed));
    // Ticks come faster than the answer, so any tick left running during the wait would fire again.
    w->Timer4->setInterval(10);
    server.setResponse("/", {200, TestServer::trackingPage(inTransit), "text/html; charset=GBK", 300});

    w->Timer4_Timer();
    QVERIFY(requestedNumbers(server).isEmpty());
    QVERIFY(isIn(*w, State::TimedArmed));

    now = now.addSecs(1);
    w->Timer4_Timer();
    QCOMPARE(requestedNumbers(server), QStringList{QStringLiteral("222")});
    QVERIFY(isIn(*w, State::TimedIdle));
    QTRY_COMPARE(w->Label12[3]->text(), QStringLiteral("有更新"));
    QVERIFY(!w->Timer4->isActive()); // nothing is left that could ask again
    QCOMPARE(requestedNumbers(server), QStringList{QStringLiteral("222")});
    QCOMPARE(w->ListView1->topLevelItemCount(), 3);
    QCOMPARE(test::QuietDesktop::takeShown(), QStringList{shoesInTransit});
}

void TestMainWindowSchedule::timedQueryArmedForNowFiresWithinASecond() {
    TestServer server;
    server.setResponse("/", {200, TestServer::trackingPage(inTransit)});
    WindowFixture fx(server.hostPort());
    auto w = windowWithBook(fx);
    Clock::setOverride([] { return QDateTime(QDate(2013, 5, 20), QTime(0, 0, 42)); });
    w->Command8_Click(); // preset to 0 and 0: midnight
    QVERIFY(w->Timer4->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(requestedNumbers(server), QStringList{QStringLiteral("222")}, 2000);
    QVERIFY(isIn(*w, State::TimedIdle));
}

void TestMainWindowSchedule::loopQueryFiresOnTheNthTick() {
    TestServer server;
    server.setResponse("/", {200, TestServer::trackingPage(inTransit)});
    WindowFixture fx(server.hostPort());
    auto w = windowWithBook(fx);
    w->Command10_Click();
    w->Combo4->setCurrentText(QStringLiteral("3"));
    w->Command5_Click();
    QCOMPARE(w->Timer6->interval(), 60000);

    w->Timer6_Timer();
    w->Timer6_Timer();
    QCOMPARE(w->loopMinutes, qint16(2));
    QVERIFY(requestedNumbers(server).isEmpty());
    w->Timer6_Timer();
    QCOMPARE(requestedNumbers(server).size(), 1);
    QCOMPARE(w->loopMinutes, qint16(0));
    QVERIFY(isIn(*w, State::LoopRunning));
    QTRY_COMPARE(w->ListView1->topLevelItemCount(), 3);

    // Stopping and starting again counts from 0: two minutes before the stop do not carry over.
    w->Timer6_Timer();
    w->Timer6_Timer();
    w->Command5_Click();
    w->Command5_Click();
    QCOMPARE(w->loopMinutes, qint16(0));
    w->Timer6_Timer();
    w->Timer6_Timer();
    QCOMPARE(requestedNumbers(server).size(), 1);
    w->Timer6_Timer();
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
    w->Command3_Click(); // the add panel is open before the mode starts
    w->Text3->setEditText(QStringLiteral("333"));
    w->Text2->setText(QStringLiteral("伞"));
    w->Command8_Click();
    QVERIFY(isIn(*w, State::TimedArmed));

    QTest::mouseClick(w->Command7, Qt::LeftButton); // 清空 would ask first
    QVERIFY(test::ScriptedBoxes::shown().isEmpty());
    QCOMPARE(w->Text1->count(), 2);
    QTest::mouseClick(w->Command3, Qt::LeftButton); // 添加 would empty the number box
    QCOMPARE(w->Text3->currentText(), QStringLiteral("333"));

    // The query button of the add panel opened before still works.
    QTest::mouseClick(w->Command1, Qt::LeftButton);
    QCOMPARE(requestedNumbers(server), QStringList{QStringLiteral("333")});
    QTRY_COMPARE(w->ListView1->topLevelItemCount(), 3);
    QVERIFY(isIn(*w, State::TimedArmed));
}

// The loop's re-queries compare the latest event with the one last shown for the parcel: news (a
// new event, a delivery) is heard and, with the window away, told to the desktop once; the same
// event again is silent. The user's own choice in the selector is judged as always and never told.
void TestMainWindowSchedule::automaticRequeryVerdictAndAlert_data() {
    QTest::addColumn<QStringList>("chosen"); // the answer the user saw first; empty: none
    QTest::addColumn<QList<QStringList>>("answers");
    QTest::addColumn<QStringList>("verdicts");
    QTest::addColumn<QStringList>("notices");
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
        w->Text1_Click();
        QTRY_COMPARE(w->ListView1->topLevelItemCount(), chosen.size());
        userAlerts = 1; // the first answer after start-up has more entries than none
    }
    w->Command10_Click();
    w->Combo4->setCurrentText(QStringLiteral("1"));
    w->Command5_Click();

    QStringList shown;
    for (const QStringList& answer : answers) {
        server.setResponse("/", {200, TestServer::trackingPage(answer)});
        w->Label12[3]->clear();
        w->Timer6_Timer();
        QTRY_VERIFY(!w->Label12[3]->text().isEmpty());
        shown << w->Label12[3]->text();
        QCOMPARE(MainWindow::labelColour(w->Label12[3]),
                 shown.last() == QStringLiteral("有更新") ? QColor(255, 0, 0) : QColor(255, 255, 255));
    }
    test::QuietDesktop::install();
    QCOMPARE(shown, verdicts);
    QCOMPARE(told, notices);
    QCOMPARE(test::ScriptedAlerts::timesStarted(w->W1), userAlerts + int(verdicts.count(QStringLiteral("有更新"))));
    QCOMPARE(server.requests().first().param("com"), std::string("shunfeng"));
}

// A loop minute or the timed minute that ends while something else waits runs once that has ended:
// never two requests at once, minutes that meet in the wait are one re-query, the re-query's list is
// the last one shown, and nothing runs when the user stopped its mode meanwhile.
void TestMainWindowSchedule::requeryDueWhileBusy_data() {
    QTest::addColumn<State>("mode");
    QTest::addColumn<Busy>("busy");
    QTest::addColumn<bool>("stopped"); // the user stops the mode while it waits
    QTest::addColumn<QStringList>("requested");
    QTest::addColumn<int>("chimes"); // -1: not looked at
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
    std::atomic<int> inFlight{0};
    std::atomic<int> mostInFlight{0};
    server.setHandler("/", [&](const RecordedRequest& r) {
        mostInFlight = std::max(mostInFlight.load(), ++inFlight);
        const std::string number = r.param("nu");
        const QStringList progress = number == "333" ? QStringList{QStringLiteral("已收件")} : inTransit;
        const CannedResponse answer = number == "444"
                                          ? CannedResponse{200, TestServer::gbk(QStringLiteral("<p>单号不存在</p>"))}
                                          : CannedResponse{200, TestServer::trackingPage(progress)};
        if (number == "333" || busy == Busy::OwnRequery)
            QThread::msleep(400);
        --inFlight;
        return answer;
    });
    server.setHandler("/tansoftjc/zjx/jc.txt", [](const RecordedRequest&) {
        QThread::msleep(400);
        return CannedResponse{200, QByteArray("V4.0")};
    });
    WindowFixture fx(server.hostPort());
    auto w = windowWithBook(fx);
    Clock::setOverride([] { return QDateTime(QDate(2013, 5, 20), QTime(0, 0, 42)); }); // the timed query's minute
    bringTo(*w, mode);
    w->Combo4->setCurrentText(busy == Busy::OwnRequery ? QStringLiteral("2") : QStringLiteral("1"));
    const bool loop = mode == State::LoopRunning;
    const auto minuteEnds = [&w, loop] {
        if (loop)
            w->Timer6_Timer();
        else
            w->Timer4_Timer();
    };
    const auto typeParcel = [&w](const QString& number) {
        w->Command3_Click();
        w->Text3->setEditText(number);
        w->Text2->setText(QStringLiteral("伞"));
        w->Combo1->setCurrentText(QStringLiteral("申通快递"));
    };

    switch (busy) {
    case Busy::ManualQuery:
        typeParcel(QStringLiteral("333"));
        QTimer::singleShot(100, w.get(), minuteEnds);
        QTimer::singleShot(200, w.get(), [&] {
            if (stopped)
                fire(*w, loop ? Event::Command5 : Event::Command8);
            else
                minuteEnds();
        });
        w->Command1_Click();
        QCOMPARE(requestedNumbers(server), QStringList{QStringLiteral("333")});
        break;
    case Busy::VersionCheck:
        QTimer::singleShot(100, w.get(), minuteEnds);
        w->Timer3_Timer();
        QCOMPARE(requestedNumbers(server), QStringList{});
        break;
    case Busy::SaveQuestion: {
        typeParcel(QStringLiteral("444"));
        QStringList requestedWhileOpen;
        test::ScriptedBoxes::setWhileShown([&] {
            minuteEnds();
            requestedWhileOpen = requestedNumbers(server);
        });
        test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::No);
        w->Command1_Click();
        QCOMPARE(requestedWhileOpen, QStringList{QStringLiteral("444")});
        break;
    }
    case Busy::OwnRequery:
        minuteEnds(); // the first of two minutes
        QTimer::singleShot(100, w.get(), minuteEnds);
        QTimer::singleShot(200, w.get(), minuteEnds);
        minuteEnds(); // the second: its re-query waits long enough for two more minutes to end
        QCOMPARE(requestedNumbers(server).size(), 1);
        break;
    }
    QTRY_COMPARE(requestedNumbers(server), requested);
    if (requested.last() == QStringLiteral("222"))
        QTRY_COMPARE(w->ListView1->topLevelItemCount(), 3);
    for (int round = 0; round < 3; ++round) // nothing else follows: no re-query left waiting to run
        QCoreApplication::processEvents();
    QCOMPARE(requestedNumbers(server), requested);
    QCOMPARE(test::QuietDesktop::takeShown(),
             requested.contains(u"222"_s) ? QStringList{shoesInTransit} : QStringList());
    QCOMPARE(mostInFlight.load(), 1);
    QCOMPARE(test::ScriptedBoxes::shownTexts().size(), busy == Busy::SaveQuestion ? 1 : 0);
    if (chimes >= 0) {
        QTRY_COMPARE(w->Label12[3]->text(), QStringLiteral("有更新"));
        QCOMPARE(test::ScriptedAlerts::timesStarted(w->W1), chimes);
    }
    if (busy == Busy::OwnRequery)
        QCOMPARE(w->loopMinutes, qint16(0));
    // A timed query that has fired, or a mode the user stopped, is idle. (The version check, run here
    // a second time, releases the selector as at start-up: the lock is not looked at then.)
    if (busy != Busy::VersionCheck)
        QVERIFY(isIn(*w, loop && !stopped ? State::LoopRunning : loop ? State::LoopIdle : State::TimedIdle));
}

// Saving an unknown number from the add panel reloads the book; the running mode keeps asking
// about the chosen parcel afterwards.
void TestMainWindowSchedule::requeryOutlivesAReloadOfTheBook_data() {
    QTest::addColumn<State>("mode");
    QTest::addColumn<bool>("viaAddPanel"); // else the chosen parcel itself is unknown to the service
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
    w->Text1->setCurrentIndex(1);
    w->Text1_Click();
    QTRY_VERIFY(w->Command1->isEnabled());
    Clock::setOverride([] { return QDateTime(QDate(2013, 5, 20), QTime(0, 0, 42)); }); // the timed query's minute
    bringTo(*w, mode);
    QVERIFY(isIn(*w, mode));
    w->Combo4->setCurrentText(QStringLiteral("1")); // every loop minute asks
    if (viaAddPanel) {
        w->Command3_Click();
        w->Text3->setEditText(QStringLiteral("444"));
        w->Text2->setText(QStringLiteral("书包"));
        test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::Yes);
        w->Command1_Click();
        QCOMPARE(w->Combo6.size(), 3);
    }
    server.clearRequests();
    if (!viaAddPanel)
        test::ScriptedBoxes::setNextAnswer(MessageBox::Answer::No); // the re-query finds it unknown again
    if (mode == State::LoopRunning)
        w->Timer6_Timer();
    else
        w->Timer4_Timer();
    QCOMPARE(requestedNumbers(server), QStringList{QStringLiteral("222")});
    QCOMPARE(test::ScriptedBoxes::shownTexts().last(),
             viaAddPanel ? QStringLiteral("单号已成功保存")
                         : QStringLiteral("您好,您当前输入的单号不存在有效信息,是否先进行保存?"));
}

QTEST_MAIN(TestMainWindowSchedule)
#include "tst_mainwindow_schedule.moc"
