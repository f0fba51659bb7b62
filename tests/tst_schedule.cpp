#include "core/querysession.h"
#include "platform/environment.h"
#include "schedule/newsnotice.h"
#include "schedule/requeryschedule.h"
#include "schedule/schedule.h"
#include "schedule/updateverdict.h"
#include "support/datatable.h"

#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

using namespace zjx::schedule;
using zjx::test::addColumns;

class TestSchedule : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A notice's body: the pickup code first, the latest event, the estimated delivery last.
    void noticeBody_data() {
        addColumns<QString, QString, bool, QString>("pickupCode", "estimate", "delivered", "body");
        const QString event = QStringLiteral("2026-12-07 09:00:00\n快件已到达 上海转运中心");
        QTest::newRow("estimate") << ""
                                  << "预计送达 12月9日" << false << event + "\n预计送达 12月9日";
        QTest::newRow("code and estimate")
            << "3-2-1045"
            << "预计送达 12月9日" << false << "取件码 3-2-1045\n" + event + "\n预计送达 12月9日";
        QTest::newRow("delivered") << ""
                                   << "预计送达 12月9日" << true << event;
        QTest::newRow("none") << ""
                              << "" << false << event;
    }
    void noticeBody() {
        QFETCH(QString, pickupCode);
        QFETCH(QString, estimate);
        QFETCH(bool, delivered);
        QFETCH(QString, body);
        const zjx::NewsNotice n =
            zjx::NewsNotice::make(QStringLiteral("111"), QStringLiteral("申通快递"), QStringLiteral("书"),
                                  QStringLiteral("运送中"), QStringLiteral("2026-12-07 09:00:00"),
                                  QStringLiteral("快件已到达 上海转运中心"), delivered, pickupCode, estimate);
        QCOMPARE(n.body, body);
    }
    void chooserValue_data();
    void chooserValue();
    void timedQueryDue_data();
    void timedQueryDue();
    void loopFiresOnTheNthMinute_data();
    void loopFiresOnTheNthMinute();
    void loopCountNeverWraps();
    void clockFormat_data();
    void clockFormat();
    void clockTextUsesTheLocale();
    void clockHasNoStrayLetters_data();
    void clockHasNoStrayLetters();
    void updateVerdict_data();
    void updateVerdict();
    void requeriesThatMeetABusyQuery_data();
    void requeriesThatMeetABusyQuery();
};

void TestSchedule::chooserValue_data() {
    addColumns<QString, int>("text", "value");
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("two digits") << "23" << 23;
    QTest::newRow("three digits") << "360" << 360;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("leading space") << " 7" << 7;
    QTest::newRow("trailing text") << "12分" << 12;
    QTest::newRow("no digits") << "abc" << 0;
    QTest::newRow("huge") << "99999999999999" << 999999999;
}

void TestSchedule::chooserValue() {
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(zjx::schedule::chooserValue(text), value);
}

void TestSchedule::timedQueryDue_data() {
    addColumns<QTime, QString, QString, bool>("now", "hour", "minute", "due");
    QTest::newRow("midnight preset") << QTime(0, 0, 0) << QStringLiteral("0") << QStringLiteral("0") << true;
    QTest::newRow("first second") << QTime(10, 30, 0) << QStringLiteral("10") << QStringLiteral("30") << true;
    QTest::newRow("last second") << QTime(10, 30, 59) << QStringLiteral("10") << QStringLiteral("30") << true;
    QTest::newRow("minute before") << QTime(10, 29, 59) << QStringLiteral("10") << QStringLiteral("30") << false;
    QTest::newRow("minute after") << QTime(10, 31, 0) << QStringLiteral("10") << QStringLiteral("30") << false;
    QTest::newRow("other hour") << QTime(22, 30, 0) << QStringLiteral("10") << QStringLiteral("30") << false;
    QTest::newRow("hour and minute swapped")
        << QTime(10, 30, 0) << QStringLiteral("30") << QStringLiteral("10") << false;
    QTest::newRow("last minute of day") << QTime(23, 59, 30) << QStringLiteral("23") << QStringLiteral("59") << true;
    QTest::newRow("empty choosers read 0") << QTime(0, 0, 5) << QStringLiteral("") << QStringLiteral("") << true;
    QTest::newRow("invalid time") << QTime() << QStringLiteral("0") << QStringLiteral("0") << false;
}

void TestSchedule::timedQueryDue() {
    QFETCH(QTime, now);
    QFETCH(QString, hour);
    QFETCH(QString, minute);
    QFETCH(bool, due);
    QCOMPARE(zjx::schedule::timedQueryDue(now, hour, minute), due);
}

void TestSchedule::loopFiresOnTheNthMinute_data() {
    addColumns<QString, QList<int>>("interval", "dueMinutes");
    QTest::newRow("every minute") << "1" << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    QTest::newRow("every 3 minutes") << "3" << QList<int>{3, 6, 9};
    QTest::newRow("every 4 minutes") << "4" << QList<int>{4, 8};
    QTest::newRow("longer than counted") << "360" << QList<int>{};
    QTest::newRow("no interval") << "" << QList<int>{};
}

void TestSchedule::loopFiresOnTheNthMinute() {
    QFETCH(QString, interval);
    QFETCH(QList<int>, dueMinutes);
    qint16 minutes = 0;
    QList<int> fired;
    for (int minute = 1; minute <= 10; ++minute) {
        if (countLoopMinute(minutes, interval)) {
            fired << minute;
            QCOMPARE(minutes, qint16(0));
        }
    }
    QCOMPARE(fired, dueMinutes);
}

void TestSchedule::loopCountNeverWraps() {
    qint16 minutes = std::numeric_limits<qint16>::max() - 1;
    QVERIFY(!countLoopMinute(minutes, QStringLiteral("1")));
    QVERIFY(!countLoopMinute(minutes, QStringLiteral("1")));
    QCOMPARE(minutes, std::numeric_limits<qint16>::max());
}

void TestSchedule::clockFormat_data() {
    addColumns<QString, QString>("locale", "format");
    QTest::newRow("zh_CN zone first") << "zh_CN"
                                      << "yyyy/M/d HH:mm:ss";
    QTest::newRow("en_US") << "en_US"
                           << "M/d/yy h:mm:ss AP";
    QTest::newRow("de_DE") << "de_DE"
                           << "dd.MM.yy HH:mm:ss";
    QTest::newRow("eu_ES zone in brackets") << "eu_ES"
                                            << "yy/M/d HH:mm:ss";
    QTest::newRow("sq_AL zone after comma") << "sq_AL"
                                            << "d.M.yy h:mm:ss AP";
    QTest::newRow("bg_BG quoted literal kept") << "bg_BG"
                                               << "d.MM.yy 'г'. H:mm:ss 'ч'.";
    QTest::newRow("zh_TW day period as AM/PM") << "zh_TW"
                                               << "yyyy/M/d APh:mm:ss";
}

void TestSchedule::clockFormat() {
    QFETCH(QString, locale);
    QFETCH(QString, format);
    QCOMPARE(zjx::schedule::clockFormat(QLocale(locale)), format);
}

void TestSchedule::clockTextUsesTheLocale() {
    const QDateTime at(QDate(2013, 5, 20), QTime(20, 7, 9));
    QCOMPARE(clockText(at, QLocale(QStringLiteral("zh_CN"))), QStringLiteral("2013/5/20 20:07:09"));
    QCOMPARE(clockText(at, QLocale(QStringLiteral("en_US"))), QStringLiteral("5/20/13 8:07:09 PM"));
}

// Every locale Qt knows: outside quoted text the clock's format holds only fields Qt reads as the
// date, the hour, the minute, the second or the AM/PM marker, so nothing shows as a stray letter.
void TestSchedule::clockHasNoStrayLetters_data() {
    QTest::addColumn<QLocale>("locale");
    QSet<QString> formats;
    for (const QLocale& locale :
         QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        const QString both = locale.dateFormat(QLocale::ShortFormat) + u'|' + locale.timeFormat(QLocale::LongFormat);
        if (!formats.contains(both)) {
            formats.insert(both);
            QTest::newRow(qPrintable(locale.name())) << locale;
        }
    }
}

void TestSchedule::clockHasNoStrayLetters() {
    QFETCH(QLocale, locale);
    const QString format = zjx::schedule::clockFormat(locale);
    QString fields;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        else if (!quoted && c.unicode() < 0x80 && c.isLetter())
            fields += c;
    }
    static const QRegularExpression known(QStringLiteral("^(d+|M+|y+|h+|H+|m+|s+|AP|ap|A|a)*$"));
    QVERIFY2(known.match(fields).hasMatch(), qPrintable(format));
}

// A query the user starts compares entry counts; an automatic re-query compares the latest event
// with the one last shown for that parcel ("-" in knownTime: nothing shown yet).
void TestSchedule::updateVerdict_data() {
    addColumns<bool, int, int, QString, QString, QString, QString, QString, bool>(
        "automatic", "lastCount", "count", "knownState", "knownTime", "state", "time", "verdict", "delivered");
    const QString transit = QStringLiteral("运送中"), out = QStringLiteral("派件中"), done = QStringLiteral("已签收");
    const QString t1 = QStringLiteral("2013-05-20 08:00:00"), t2 = QStringLiteral("2013-05-21 09:30:00");
    const QString news = QStringLiteral("有更新"), none = QStringLiteral("无更新");
    // The user's queries: the counts of the last two answers, whatever the parcels.
    QTest::newRow("user: first answer") << false << 0 << 3 << ""
                                        << "-" << transit << t1 << news << false;
    QTest::newRow("user: as many") << false << 3 << 3 << ""
                                   << "-" << transit << t1 << none << false;
    QTest::newRow("user: fewer") << false << 4 << 3 << ""
                                 << "-" << out << t1 << none << false;
    QTest::newRow("user: one more") << false << 3 << 4 << ""
                                    << "-" << out << t1 << news << false;
    QTest::newRow("user: more, signed for") << false << 3 << 4 << ""
                                            << "-" << done << t1 << none << false;
    // Automatic re-queries: counts play no part.
    QTest::newRow("auto: nothing shown yet") << true << 9 << 3 << ""
                                             << "-" << transit << t1 << news << false;
    QTest::newRow("auto: same event") << true << 0 << 3 << transit << t1 << transit << t1 << none << false;
    QTest::newRow("auto: same event, fewer rows") << true << 5 << 3 << out << t1 << out << t1 << none << false;
    QTest::newRow("auto: new time") << true << 3 << 3 << transit << t1 << transit << t2 << news << false;
    QTest::newRow("auto: new text") << true << 3 << 3 << transit << t1 << out << t1 << news << false;
    QTest::newRow("auto: just signed for") << true << 3 << 4 << out << t1 << done << t2 << news << true;
    QTest::newRow("auto: signed for, same time") << true << 3 << 3 << out << t1 << done << t1 << news << true;
    QTest::newRow("auto: signed for again") << true << 4 << 4 << done << t2 << done << t2 << none << false;
    QTest::newRow("auto: signed for, event moved") << true << 4 << 5 << done << t1 << done << t2 << news << false;
    QTest::newRow("auto: signed for, first seen") << true << 0 << 4 << ""
                                                  << "-" << done << t2 << news << true;
}

void TestSchedule::updateVerdict() {
    QFETCH(bool, automatic);
    QFETCH(int, lastCount);
    QFETCH(int, count);
    QFETCH(QString, knownState);
    QFETCH(QString, knownTime);
    QFETCH(QString, state);
    QFETCH(QString, time);
    QFETCH(QString, verdict);
    QFETCH(bool, delivered);
    // The state's text stands for the progress: a different state is a different event text.
    const zjx::Sighting answer{state, {time, state + QStringLiteral("，上海")}};
    std::optional<zjx::Sighting> known;
    if (knownTime != QStringLiteral("-"))
        known = zjx::Sighting{knownState, {knownTime, knownState + QStringLiteral("，上海")}};
    const zjx::UpdateVerdict v = automatic ? zjx::UpdateVerdict::forRequery(known, answer)
                                           : zjx::UpdateVerdict::judge(qint16(lastCount), qint16(count), state);
    QCOMPARE(v.text(), verdict);
    QCOMPARE(v.delivered, delivered);
}

// The timed query (10:30) and the loop (every 2 minutes) against a query that is busy: a re-query
// that falls due waits and runs when the query is over, unless its mode was stopped or restarted
// meanwhile or the book emptied; two that meet while waiting are one. Steps: arm/disarm the timed
// query, "second" and "early" are its clock's ticks at 10:30:00 and 10:29:59, start/stop the loop,
// "minute" its clock's tick (a tick comes only while its clock runs), busy/free the query (free ends
// it, "finish" ends it still busy), clear empties the book.
void TestSchedule::requeriesThatMeetABusyQuery_data() {
    addColumns<QString, int, bool, int>("steps", "runs", "timedArmed", "timedEnded");
    QTest::newRow("timed: its second") << "arm second second" << 1 << false << 1;
    QTest::newRow("timed: a second early") << "arm early" << 0 << true << 0;
    QTest::newRow("timed: busy, runs when free") << "arm busy second" << 0 << true << 0;
    QTest::newRow("timed: busy, then free") << "arm busy second free" << 1 << false << 1;
    QTest::newRow("timed: disarmed while waiting") << "arm busy second disarm free" << 0 << false << 0;
    QTest::newRow("timed: rearmed while waiting") << "arm busy second disarm arm free" << 0 << true << 0;
    QTest::newRow("timed: book emptied while waiting") << "arm busy second clear free" << 0 << false << 1;
    QTest::newRow("loop: every 2 minutes") << "start minute minute minute minute minute" << 2 << false << 0;
    QTest::newRow("loop: busy, then free") << "start busy minute minute free" << 1 << false << 0;
    QTest::newRow("loop: stopped while waiting") << "start busy minute minute stop free" << 0 << false << 0;
    QTest::newRow("loop: restarted while waiting") << "start busy minute minute stop start free" << 0 << false << 0;
    QTest::newRow("loop: still busy at the next end") << "start busy minute minute finish" << 0 << false << 0;
    QTest::newRow("loop and timed meet: one run") << "start arm busy minute minute second free" << 1 << false << 1;
    QTest::newRow("loop: minutes count on while waiting")
        << "start busy minute minute free minute minute" << 2 << false << 0;
}

void TestSchedule::requeriesThatMeetABusyQuery() {
    QFETCH(QString, steps);
    QFETCH(int, runs);
    QFETCH(bool, timedArmed);
    QFETCH(int, timedEnded);
    QTime now(10, 30, 0);
    zjx::Clock::setOverride([&now] { return QDateTime(QDate(2026, 12, 8), now); });
    zjx::QuerySession query;
    zjx::RequerySchedule schedule(query);
    QSignalSpy ended(&schedule, &zjx::RequerySchedule::timedEnded);
    int ran = 0;
    bool busy = false, parcel = true;
    schedule.setHooks([&] { ++ran; }, [&] { return parcel; }, [&] { return busy; });
    schedule.setTimedTime(QStringLiteral("10"), QStringLiteral("30"));
    schedule.setLoopInterval(QStringLiteral("2"));
    for (const QString& step : steps.split(u' ')) {
        if (step == u"arm")
            schedule.armTimed();
        else if (step == u"disarm")
            schedule.disarmTimed();
        else if ((step == u"second" || step == u"early") && schedule.timedClock().isActive())
            now = step == u"second" ? QTime(10, 30, 0) : QTime(10, 29, 59), schedule.timedTick();
        else if (step == u"start")
            schedule.startLoop();
        else if (step == u"stop")
            schedule.stopLoop();
        else if (step == u"minute" && schedule.loopClock().isActive())
            schedule.loopTick();
        else if (step == u"busy")
            busy = true;
        else if (step == u"clear")
            parcel = false;
        else if (step == u"free" || step == u"finish") {
            busy = step == u"finish";
            query.finish(); // the schedule hears of it queued, as from the running query
        }
        QCoreApplication::processEvents();
    }
    zjx::Clock::setOverride({});
    QCOMPARE(ran, runs);
    QCOMPARE(schedule.timedArmed(), timedArmed);
    QCOMPARE(int(ended.size()), timedEnded);
    QCOMPARE(schedule.loopClock().isActive(), schedule.loopRunning());
}

QTEST_GUILESS_MAIN(TestSchedule)
#include "tst_schedule.moc"
