// The pages of zjx-service, read back with the same cuts the program makes.

#include "branch/branchpage.h"
#include "branchpages.h"
#include "core/parser.h"
#include "support/datarows.h"
#include "support/datatable.h"
#include "trackingpages.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>
#include <QTimeZone>

using namespace zjx::service;
using zjx::test::addRows;

namespace {

const QString kKey = QString::fromLatin1(kAccessKey);
const QStringList kMarkers = {QStringLiteral("单号格式错误"), QStringLiteral("不存在"), QStringLiteral("NULL"),
                              QStringLiteral("不支持的快递公司"), QStringLiteral("请输入")};

QString fromGbk(const QByteArray& bytes) {
    QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

struct Row {
    QString time;
    QString progress;
};

// The page as the program's own parser reads it, in table order (the oldest event first).
QList<Row> parseLikeTheProgram(const QString& page) {
    const QList<zjx::ProgressEntry> entries = zjx::TrackingParser::parse(page, zjx::TrackingParser::countRows(page));
    QList<Row> result;
    for (auto entry = entries.crbegin(); entry != entries.crend(); ++entry)
        result.append({entry->time, entry->progress});
    return result;
}

// The page as the branch window's own cutter reads it.
QStringList cutLikeTheBranchWindow(const QString& page) {
    const zjx::BranchFields fields = zjx::cutBranchPage(page);
    return QStringList(fields.begin(), fields.end());
}

} // namespace

class TestService : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void knownEventsReadBack();
    void historyReadsBackExactly_data();
    void historyReadsBackExactly();
    void historyGrowsOneEventPerInterval();
    void historySurvivesARestart();
    void deskTellsStateAndEstimatedDelivery_data();
    void deskTellsStateAndEstimatedDelivery();
    void screeningSamples_data();
    void screeningSamples();
    void branchPageCutsIntoTheSixValues_data();
    void branchPageCutsIntoTheSixValues();
    void unknownBranchGivesEmptyName_data();
    void unknownBranchGivesEmptyName();
};

// A page of known events reads back as those events, written out here.
void TestService::knownEventsReadBack() {
    const QList<TrackingEvent> events{
        {QDateTime(QDate(2026, 3, 1), QTime(9, 30, 15)), QStringLiteral("【上海市】快件已由 浦东营业部 揽收")},
        {QDateTime(QDate(2026, 3, 2), QTime(18, 5, 0)), QStringLiteral("已签收,签收人:本人")}};
    const QList<Row> rows = parseLikeTheProgram(fromGbk(trackingPage(QStringLiteral("申通快递"), events)));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0].time, QStringLiteral("2026-03-01 09:30:15"));
    QCOMPARE(rows[0].progress, QStringLiteral("【上海市】快件已由 浦东营业部 揽收"));
    QCOMPARE(rows[1].time, QStringLiteral("2026-03-02 18:05:00"));
    QCOMPARE(rows[1].progress, QStringLiteral("已签收,签收人:本人"));
}

// Complete: signed for by then.
using HistoryRow = std::tuple<const char*, QString, QString, int, bool>;

void TestService::historyReadsBackExactly_data() {
    const HistoryRow rows[] = {
        {"first request", "shentong", "ZJX12345678", 0, false},
        {"fully grown", "yunda", "773012345678901", 60, true},
        {"company with 派 in its name", "weitepai", "abcDEF123456", 60, true},
        {"signed sample", "shunfeng", "ZJXSIGNED1", 0, true},
        {"long sample", "ems", "ZJXMANY001", 0, true},
    };
    addRows(rows);
}

void TestService::historyReadsBackExactly() {
    QFETCH(HistoryRow, row);
    const auto& [name, code, number, minutesLater, complete] = row;
    const QDateTime first(QDate(2026, 3, 1), QTime(9, 30, 15, 500));
    const QDateTime now = first.addSecs(minutesLater * 60);
    const QList<TrackingEvent> events = parcelHistory(code, number, first, now, 3);
    const QByteArray bytes = trackingPage(QStringLiteral("申通快递"), events);
    const QString page = fromGbk(bytes);

    QStringEncoder encoder("GBK");
    QCOMPARE(QByteArray(encoder.encode(page)), bytes);
    QVERIFY(!page.contains(u'?')); // a character GBK cannot hold would have become '?'
    QVERIFY(page.endsWith(QStringLiteral("</td></tr></table>")));
    QVERIFY(page.indexOf(QStringLiteral("<td>")) == page.indexOf(QStringLiteral("<tr><td>")) + 4);
    for (const QString& marker : kMarkers)
        QVERIFY2(!page.contains(marker), qPrintable(marker));

    const QList<Row> rows = parseLikeTheProgram(page);
    QCOMPARE(rows.size(), events.size());
    static const QRegularExpression timeShape(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    QDateTime previous;
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows[i].progress, events[i].text);
        QVERIFY2(timeShape.match(rows[i].time).hasMatch(), qPrintable(rows[i].time));
        const QDateTime t = QDateTime::fromString(rows[i].time, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        QVERIFY(t <= now);
        QVERIFY(!previous.isValid() || t > previous);
        previous = t;
    }

    QCOMPARE(events.size() >= 5, complete);
    const int quiet = complete ? events.size() - 2 : events.size();
    for (int i = 0; i < quiet; ++i)
        QVERIFY2(!events[i].text.contains(QRegularExpression(QStringLiteral("[签妥派]"))), qPrintable(events[i].text));
    if (complete) {
        QVERIFY(events[quiet].text.contains(u'派'));
        QVERIFY(!events[quiet].text.contains(u'签') && !events[quiet].text.contains(u'妥'));
        QVERIFY(events.last().text.contains(QStringLiteral("签收")));
    }
    if (number == QStringLiteral("ZJXMANY001"))
        QCOMPARE(events.size(), 40);
}

void TestService::historyGrowsOneEventPerInterval() {
    const QDateTime first(QDate(2026, 5, 2), QTime(14, 0, 0));
    const int interval = 7;
    const auto historyAt = [&](const QDateTime& now) {
        return parcelHistory(QStringLiteral("zhongtong"), QStringLiteral("ZT0000123456"), first, now, interval);
    };
    const QList<TrackingEvent> full = historyAt(first.addDays(1));
    QVERIFY(full.size() >= 5 && full.size() <= 9);
    const int atFirst = int(historyAt(first).size());
    QVERIFY(atFirst == 2 || atFirst == 3);
    for (int steps = 0; steps <= 8; ++steps) {
        // One second short of the next step must not show its event yet.
        const QDateTime now = first.addSecs(qint64(steps) * interval * 60 + interval * 60 - 1);
        const QList<TrackingEvent> shown = historyAt(now);
        QCOMPARE(shown.size(), std::min<qsizetype>(full.size(), atFirst + steps));
        for (int i = 0; i < shown.size(); ++i) {
            QCOMPARE(shown[i].time, full[i].time);
            QCOMPARE(shown[i].text, full[i].text);
            QVERIFY(shown[i].time <= now);
        }
    }
}

// Asked every minute over a whole cycle, a parcel never loses an event, gains them one per
// interval until signed for, and a desk started at that moment (the service restarted) shows
// exactly the same page.
void TestService::historySurvivesARestart() {
    const int interval = 3;
    const QString number = QStringLiteral("ZJX99887766");
    const QDateTime start =
        journeyStart(QStringLiteral("shentong"), number, QDateTime(QDate(2026, 1, 10), QTime(8, 0)), interval);
    const TrackingDesk running(interval);
    const auto rows = [](const Reply& r) { return int(fromGbk(r.body).count(QStringLiteral("<tr><td>"))); };
    int previous = 0;
    QString last;
    for (int minute = 0; minute < interval * kJourneyCycleIntervals; ++minute) {
        const QDateTime now = start.addSecs(minute * 60 + 30);
        const Reply page = running.answer(QStringLiteral("shentong"), number, kKey, now);
        QCOMPARE(TrackingDesk(interval).answer(QStringLiteral("shentong"), number, kKey, now).body, page.body);
        QCOMPARE(journeyStart(QStringLiteral("shentong"), number, now, interval), start);
        const int n = rows(page);
        QVERIFY2(minute == 0 ? n == 2 || n == 3 : n == previous || n == previous + 1, qPrintable(QString::number(n)));
        previous = n;
        last = fromGbk(page.body);
    }
    QVERIFY(previous >= 5);
    QVERIFY(last.contains(QStringLiteral("签收")));
}

void TestService::deskTellsStateAndEstimatedDelivery_data() {
    // The states (X-Zjx-State) at the first ask and every 3 minutes after; what the latest event at the end holds.
    zjx::test::addColumns<QString, QStringList, QString>("number", "states", "latestHolds");
    QTest::newRow("on its way") << "ZT0000123456"
                                << QStringList{"transit", "transit", "transit", "delivering", "signed", "signed"}
                                << "签收";
    QTest::newRow("signed sample") << "ZJXSIGNED1" << QStringList{"signed", "signed"} << "签收";
    QTest::newRow("pickup sample") << "ZJXPICKUP1" << QStringList{"pickup", "pickup"} << "取件码 3-2-1045";
    QTest::newRow("refused sample") << "ZJXRETURN1" << QStringList{"returned", "returned"} << "拒签";
}

void TestService::deskTellsStateAndEstimatedDelivery() {
    QFETCH(QString, number);
    QFETCH(QStringList, states);
    QFETCH(QString, latestHolds);
    TrackingDesk desk(3);
    // The journey's own start in its cycle; 2026-12-07 20:00 UTC is the next morning in China.
    const QDateTime t0 =
        journeyStart("zhongtong", number, QDateTime(QDate(2026, 12, 7), QTime(20, 0), QTimeZone::utc()), 3);
    const QList<TrackingEvent> full = parcelHistory("zhongtong", number, t0, t0.addDays(1), 3);
    // The day the invented journey ends with, in China.
    const QString arrival = full.last().time.toTimeZone(QTimeZone(8 * 3600)).date().toString(Qt::ISODate);
    QStringList seen;
    Reply last;
    for (int step = 0; step < states.size(); ++step) {
        last = desk.answer("zhongtong", number, kKey, t0.addSecs(step * 3 * 60));
        const auto header = [&](const std::string& name) {
            for (const auto& [key, value] : last.headers)
                if (key == name)
                    return QString::fromStdString(value);
            return QString();
        };
        seen << header("X-Zjx-State");
        // Expected only while on its way, on the day the history ends.
        QCOMPARE(header("X-Zjx-Estimated-Delivery"),
                 seen.last() == u"transit" || seen.last() == u"delivering" ? arrival : QString());
    }
    QCOMPARE(seen, states);
    const QList<Row> rows = parseLikeTheProgram(fromGbk(last.body));
    QVERIFY2(rows.last().progress.contains(latestHolds), qPrintable(rows.last().progress));
}

// An empty marker: no marker at all.
using ScreeningRow = std::tuple<const char*, QString, QString, QString, int, QString, bool>;

void TestService::screeningSamples_data() {
    const QString k = kKey;
    const ScreeningRow rows[] = {
        {"format sample", "shentong", "ZJXFORMAT1", k, 200, "单号格式错误", false},
        {"too short", "shentong", "AB12345", k, 200, "单号格式错误", false},
        {"too long", "shentong", "A12345678901234567890", k, 200, "单号格式错误", false},
        {"space inside", "shentong", "ZJX 1234567", k, 200, "单号格式错误", false},
        {"not existing", "yunda", "ZJXNOTEXIST", k, 200, "不存在", false},
        {"expired", "yunda", "ZJXEXPIRED", k, 200, "NULL", false},
        {"bad input", "yunda", "ZJXBADINPUT", k, 200, "请输入", false},
        {"empty", "yunda", "ZJXEMPTY01", k, 200, "", true},
        {"unknown company", "nosuch", "ZJX12345678", k, 200, "不支持的快递公司", false},
        {"number spelling a marker", "aae", "NULL12345678", k, 200, "", false},
        {"wrong key", "shentong", "ZJX12345678", k.toLower(), 403, "", false},
        {"no key", "shentong", "ZJXSIGNED1", QString(), 403, "", false},
    };
    addRows(rows);
}

void TestService::screeningSamples() {
    QFETCH(ScreeningRow, row);
    const auto& [name, code, number, key, status, marker, emptyBody] = row;
    TrackingDesk desk(3);
    const Reply reply = desk.answer(code, number, key, QDateTime::currentDateTime());
    QCOMPARE(reply.status, status);
    QCOMPARE(reply.contentType, std::string("text/html; charset=GBK"));
    QCOMPARE(reply.body.isEmpty(), emptyBody);
    const QString page = fromGbk(reply.body);
    for (const QString& m : kMarkers)
        QVERIFY2(page.contains(m) == (m == marker), qPrintable(m));
    const bool eventTable = status == 200 && marker.isEmpty() && !emptyBody;
    QCOMPARE(page.contains(QStringLiteral("<tr><td>")), eventTable);
}

void TestService::branchPageCutsIntoTheSixValues_data() {
    zjx::test::addColumns<QString, int>("asked", "branch");
    for (int i = 0; i < sampleBranches().size(); ++i)
        QTest::newRow(qPrintable(sampleBranches()[i].name)) << sampleBranches()[i].name << i;
    QTest::newRow("spaces around the name") << QStringLiteral("  北京朝阳 ") << 1;
}

void TestService::branchPageCutsIntoTheSixValues() {
    QFETCH(QString, asked);
    QFETCH(int, branch);
    const Branch& b = sampleBranches()[branch];
    const QString page = QString::fromUtf8(branchPage(asked));
    const QStringList expected = {b.name, b.person, b.fullName, b.telephone, b.deliveryArea, b.nonDeliveryArea};
    QCOMPARE(cutLikeTheBranchWindow(page), expected);
    // Any further "td" would move the later values; 27 belong to the layout.
    QCOMPARE(page.count(QStringLiteral("td")), 27);
}

void TestService::unknownBranchGivesEmptyName_data() {
    QTest::addColumn<QString>("asked");
    QTest::newRow("unknown") << QStringLiteral("上海");
    QTest::newRow("empty") << QString();
    QTest::newRow("many td") << QStringLiteral("td td td td td td td td td td td td td td td td td td td td td td");
    QTest::newRow("markup") << QStringLiteral("<td class=\"x\">上海浦东</td>");
}

void TestService::unknownBranchGivesEmptyName() {
    QFETCH(QString, asked);
    const QString page = QString::fromUtf8(branchPage(asked));
    QVERIFY(page.contains(QStringLiteral("没有找到")));
    QCOMPARE(cutLikeTheBranchWindow(page).first(), QString());
}

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
