// The parser against a plain, row-by-row reading of the answer (the reference below), and the
// parcel state.

#include "core/parser.h"

#include "support/datatable.h"
#include "support/testseed.h"

#include <QRandomGenerator>
#include <QStringList>
#include <QTest>

using namespace zjx;

namespace {

// The parse as the program has always done it: for every row, cut the whole answer again. A step
// whose piece does not exist is skipped, so the text keeps its value from the row before.
QList<ProgressEntry> referenceParse(const QString& answerText, int rows) {
    QList<ProgressEntry> list; // index 0 is the top line
    QString time;
    QString progress;
    int rowCount = rows;
    int cellIndex = 0;
    for (int i = 1; i <= rows; ++i) {
        rowCount -= 1;
        const QStringList byRow = answerText.split(QStringLiteral("<tr><td>"));
        if (i < byRow.size()) {
            const QString piece = byRow.at(i);
            time = piece.left(piece.indexOf(QStringLiteral("</td><td>")) + 1);
            time.remove(u'<');
            time.remove(QStringLiteral("</td></tr><tr>"));
            time.remove(QStringLiteral("</td></tr></table>"));
        }
        list.prepend({QString::number(rowCount + 1), time, QString()});
        cellIndex += 2;
        const QStringList byCell = answerText.split(QStringLiteral("<td>"));
        if (cellIndex < byCell.size()) {
            progress = byCell.at(cellIndex);
            progress.remove(QStringLiteral("</td></tr><tr>"));
            progress.remove(QStringLiteral("</td></tr></table>"));
        }
        list.first().progress = progress;
    }
    return list;
}

QString table(const QList<QPair<QString, QString>>& rows) {
    QString out = QStringLiteral("<html><body><table><tr><th>时间</th><th>地点和跟踪进度</th></tr>");
    for (const auto& [time, progress] : rows)
        out +=
            QStringLiteral("<tr><td>") + time + QStringLiteral("</td><td>") + progress + QStringLiteral("</td></tr>");
    return out + QStringLiteral("</table>");
}

} // namespace

class TestParser : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void threeRowsLatestFirst() {
        const QString answer = table({{QStringLiteral("2014-05-01 10:00:00"), QStringLiteral("已收件")},
                                      {QStringLiteral("2014-05-02 08:30:00"), QStringLiteral("到达上海")},
                                      {QStringLiteral("2014-05-03 09:15:00"), QStringLiteral("正在派件")}});
        QCOMPARE(TrackingParser::countRows(answer), 3);
        const QList<ProgressEntry> expected{
            {QStringLiteral("1"), QStringLiteral("2014-05-03 09:15:00"), QStringLiteral("正在派件")},
            {QStringLiteral("2"), QStringLiteral("2014-05-02 08:30:00"), QStringLiteral("到达上海")},
            {QStringLiteral("3"), QStringLiteral("2014-05-01 10:00:00"), QStringLiteral("已收件")}};
        QCOMPARE(TrackingParser::parse(answer, 3), expected);
    }

    void shapes_data() {
        // rows -1: as counted
        test::addColumns<QString, int>("answer", "rows");
        const QString good =
            table({{QStringLiteral("T1"), QStringLiteral("P1")}, {QStringLiteral("T2"), QStringLiteral("P2")}});
        QTest::newRow("one row") << table({{QStringLiteral("2014-05-01 10:00:00"), QStringLiteral("已签收")}}) << -1;
        QTest::newRow("heading row") << good << -1;
        QTest::newRow("line breaks between rows")
            << QString(good).replace(QStringLiteral("</tr><tr>"), QStringLiteral("</tr>\r\n  <tr>")) << -1;
        QTest::newRow("row without a cell break")
            << QStringLiteral("<tr><td>T1 P1</td></tr><tr><td>T2</td><td>P2</td></tr></table>") << -1;
        QTest::newRow("text after the table") << good + QStringLiteral("\r\n</body></html>") << -1;
        QTest::newRow("tag inside a time cell")
            << QStringLiteral("<tr><td><b>T1</b></td><td>P1</td></tr></table>") << -1;
        QTest::newRow("row end inside a progress")
            << QStringLiteral("<tr><td>T</td><td>a</td></tr><tr>b</td></tr></table>c</td></tr>") << -1;
        QTest::newRow("removal joins a second string")
            << QStringLiteral("<tr><td>T</td><td>x</td></tr></td></tr><tr>table>y") << -1;
        QTest::newRow("cells in the heading") << QStringLiteral("<tr><td>H</td></tr>") + good << -1;
        QTest::newRow("fewer rows than counted") << good << 1;
        QTest::newRow("more rows than counted") << good << 5;
        QTest::newRow("nothing but a row start") << QStringLiteral("<tr><td>") << -1;
    }
    void shapes() {
        QFETCH(QString, answer);
        QFETCH(int, rows);
        if (rows < 0)
            rows = TrackingParser::countRows(answer);
        QCOMPARE(TrackingParser::parse(answer, rows), referenceParse(answer, rows));
    }

    void generatedShapes() {
        static const QStringList tokens{QStringLiteral("<tr><td>"),
                                        QStringLiteral("<td>"),
                                        QStringLiteral("</td><td>"),
                                        QStringLiteral("</td></tr><tr>"),
                                        QStringLiteral("</td></tr></table>"),
                                        QStringLiteral("</td></tr>"),
                                        QStringLiteral("<tr>"),
                                        QStringLiteral("</td>"),
                                        QStringLiteral("<th>"),
                                        QStringLiteral("<"),
                                        QStringLiteral("t"),
                                        QStringLiteral("d>"),
                                        QStringLiteral("2014-05-01 10:00"),
                                        QStringLiteral("签收"),
                                        QStringLiteral("\r\n"),
                                        QStringLiteral(" ")};
        QRandomGenerator random(zjx::test::testSeed("parser answers", 20140501));
        for (int round = 0; round < 3000; ++round) {
            QString answer;
            const int length = random.bounded(1, 60);
            for (int t = 0; t < length; ++t)
                answer += tokens.at(random.bounded(tokens.size()));
            const int counted = TrackingParser::countRows(answer);
            const int rows = round % 5 == 0 ? counted + random.bounded(-2, 3) : counted;
            if (TrackingParser::parse(answer, rows) != referenceParse(answer, rows))
                QFAIL(qPrintable(QStringLiteral("differs for rows %1 of: %2").arg(rows).arg(answer)));
        }
    }

    void rowCountIsCapped() {
        QString answer;
        for (int i = 1; i <= 40000; ++i)
            answer += QStringLiteral("<tr><td>T%1</td><td>P%1</td></tr>").arg(i);
        QCOMPARE(TrackingParser::countRows(answer), TrackingParser::maxRows);
        const QList<ProgressEntry> entries = TrackingParser::parse(answer, TrackingParser::countRows(answer));
        QCOMPARE(entries.size(), 32767);
        QCOMPARE(entries.first(),
                 (ProgressEntry{QStringLiteral("1"), QStringLiteral("T32767"), QStringLiteral("P32767")}));
        // Past 16383 rows a 16-bit cell index would stop growing; every row keeps its own progress.
        QCOMPARE(entries.at(32767 - 20000),
                 (ProgressEntry{QStringLiteral("12768"), QStringLiteral("T20000"), QStringLiteral("P20000")}));
        QCOMPARE(entries.last(), (ProgressEntry{QStringLiteral("32767"), QStringLiteral("T1"), QStringLiteral("P1")}));
    }

    void parcelState_data() {
        test::addColumns<QString, QString>("progress", "state");
        QTest::newRow("signed") << QStringLiteral("已签收,签收人是本人") << QStringLiteral("已签收");
        QTest::newRow("signed inside a word") << QStringLiteral("快件标签已打印") << QStringLiteral("已签收");
        QTest::newRow("delivered") << QStringLiteral("已妥投") << QStringLiteral("已签收");
        QTest::newRow("signed before delivering") << QStringLiteral("派件员已签字") << QStringLiteral("已签收");
        QTest::newRow("delivering") << QStringLiteral("正在派件") << QStringLiteral("派件中");
        QTest::newRow("in transit") << QStringLiteral("到达上海转运中心") << QStringLiteral("运送中");
        QTest::newRow("empty") << QString() << QStringLiteral("运送中");
    }
    void parcelState() {
        QFETCH(QString, progress);
        QFETCH(QString, state);
        QCOMPARE(TrackingParser::parcelState(progress), state);
    }
};

QTEST_GUILESS_MAIN(TestParser)
#include "tst_parser.moc"
