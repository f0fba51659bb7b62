#include "schedule/schedule.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace zjx::schedule;

class TestSchedule : public QObject {
    Q_OBJECT
private Q_SLOTS:
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
};

void TestSchedule::chooserValue_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
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
    QTest::addColumn<QTime>("now");
    QTest::addColumn<QString>("hour");
    QTest::addColumn<QString>("minute");
    QTest::addColumn<bool>("due");
    QTest::newRow("midnight preset") << QTime(0, 0, 0) << "0"
                                     << "0" << true;
    QTest::newRow("first second") << QTime(10, 30, 0) << "10"
                                  << "30" << true;
    QTest::newRow("last second") << QTime(10, 30, 59) << "10"
                                 << "30" << true;
    QTest::newRow("minute before") << QTime(10, 29, 59) << "10"
                                   << "30" << false;
    QTest::newRow("minute after") << QTime(10, 31, 0) << "10"
                                  << "30" << false;
    QTest::newRow("other hour") << QTime(22, 30, 0) << "10"
                                << "30" << false;
    QTest::newRow("hour and minute swapped") << QTime(10, 30, 0) << "30"
                                             << "10" << false;
    QTest::newRow("last minute of day") << QTime(23, 59, 30) << "23"
                                        << "59" << true;
    QTest::newRow("empty choosers read 0") << QTime(0, 0, 5) << ""
                                           << "" << true;
    QTest::newRow("invalid time") << QTime() << "0"
                                  << "0" << false;
}

void TestSchedule::timedQueryDue() {
    QFETCH(QTime, now);
    QFETCH(QString, hour);
    QFETCH(QString, minute);
    QFETCH(bool, due);
    QCOMPARE(zjx::schedule::timedQueryDue(now, hour, minute), due);
}

void TestSchedule::loopFiresOnTheNthMinute_data() {
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QList<int>>("dueMinutes");
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
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("format");
    QTest::newRow("zh_CN zone first") << "zh_CN"
                                      << "yyyy/M/d HH:mm:ss";
    QTest::newRow("en_US") << "en_US"
                           << "M/d/yy h:mm:ss AP";
    QTest::newRow("de_DE") << "de_DE"
                           << "dd.MM.yy HH:mm:ss";
    QTest::newRow("eu_ES zone in brackets")
        << "eu_ES" << QLocale("eu_ES").dateFormat(QLocale::ShortFormat) + " HH:mm:ss";
    QTest::newRow("sq_AL zone after comma")
        << "sq_AL" << QLocale("sq_AL").dateFormat(QLocale::ShortFormat) + " h:mm:ss AP";
    QTest::newRow("bg_BG quoted literal kept")
        << "bg_BG" << QLocale("bg_BG").dateFormat(QLocale::ShortFormat) + " H:mm:ss 'ч'.";
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

QTEST_GUILESS_MAIN(TestSchedule)
#include "tst_schedule.moc"
