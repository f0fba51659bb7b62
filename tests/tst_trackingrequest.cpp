// The request URL with its encoded number, and the screening of the service's answers.

#include "core/trackingrequest.h"
#include "support/datatable.h"

#include <QTest>
#include <QUrl>

using namespace zjx;

Q_DECLARE_METATYPE(zjx::Screening)

class TestTrackingRequest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void url() {
        QCOMPARE(TrackingRequest::url(QStringLiteral("track.example:8080"), QStringLiteral("shentong"),
                                      QStringLiteral("668031148649")),
                 QStringLiteral("http://track.example:8080/?com=shentong&nu=668031148649"
                                "&id=4F1C0D7A2B9E83C5A6D0E1F27B3C9D48&type=html"));
    }

    void encodeNumber_data() {
        test::addColumns<QString, QString>("number", "sent");
        QTest::newRow("letters and digits") << QStringLiteral("AbZz09") << QStringLiteral("AbZz09");
        QTest::newRow("safe punctuation") << QStringLiteral("-._~!$'()*,;:@/") << QStringLiteral("-._~!$'()*,;:@/");
        QTest::newRow("question mark") << QStringLiteral("SF1?2??") << QStringLiteral("SF1%3F2%3F%3F");
        QTest::newRow("fragment") << QStringLiteral("12#34") << QStringLiteral("12%2334");
        QTest::newRow("key injection") << QStringLiteral("1&id=x") << QStringLiteral("1%26id%3Dx");
        QTest::newRow("plus and space") << QStringLiteral("a b+c") << QStringLiteral("a%20b%2Bc");
        QTest::newRow("percent") << QStringLiteral("50%41") << QStringLiteral("50%2541");
        QTest::newRow("three spaces") << QStringLiteral("   ") << QStringLiteral("%20%20%20");
        QTest::newRow("controls") << QStringLiteral("1\t2\r\n\x7f") << QStringLiteral("1%092%0D%0A%7F");
        QTest::newRow("not for URLs") << QStringLiteral("\"<>\\^`{|}[]")
                                      << QStringLiteral("%22%3C%3E%5C%5E%60%7B%7C%7D%5B%5D");
        QTest::newRow("chinese") << QStringLiteral("单号1") << QStringLiteral("%E5%8D%95%E5%8F%B71");
        QTest::newRow("surrogate pair") << QStringLiteral("a\U0001F600") << QStringLiteral("a%F0%9F%98%80");
        QTest::newRow("empty") << QString() << QString();
    }
    void encodeNumber() {
        QFETCH(QString, number);
        QFETCH(QString, sent);
        QCOMPARE(TrackingRequest::encodeNumber(number), sent);
        QCOMPARE(QUrl::fromPercentEncoding(sent.toLatin1()), number);
    }

    void screening_data() {
        test::addColumns<QString, Screening, QString>("answer", "verdict", "hint");
        const QString table = QStringLiteral("<table><tr><td>2014-05-01 10:00:00</td><td>已签收</td></tr></table>");
        QTest::newRow("empty") << QString() << Screening::Empty << QString();
        QTest::newRow("format") << QStringLiteral("单号格式错误") << Screening::FormatError
                                << QStringLiteral("单号格式错误!请检查!");
        QTest::newRow("format before the rest") << QStringLiteral("不存在 NULL 单号格式错误") << Screening::FormatError
                                                << QStringLiteral("单号格式错误!请检查!");
        QTest::newRow("unknown before NULL") << QStringLiteral("NULL:该单号不存在") << Screening::NotFound << QString();
        QTest::newRow("NULL") << QStringLiteral("result NULL") << Screening::Expired
                              << QStringLiteral("此快递单号已失效..");
        QTest::newRow("NULL before unsupported")
            << QStringLiteral("不支持的快递公司 NULL") << Screening::Expired << QStringLiteral("此快递单号已失效..");
        QTest::newRow("unsupported") << QStringLiteral("不支持的快递公司") << Screening::Unsupported
                                     << QStringLiteral("系统问题,暂不支持当前快递公司!");
        QTest::newRow("enter") << QStringLiteral("请输入单号") << Screening::EnterNumber
                               << QStringLiteral("请输入正确的单号!");
        QTest::newRow("lower-case null") << QStringLiteral("null Null") << Screening::Good << QString();
        QTest::newRow("table") << table << Screening::Good << QString();
        QTest::newRow("marker inside a progress cell")
            << QString(table).replace(QStringLiteral("已签收"), QStringLiteral("请输入取件码"))
            << Screening::EnterNumber << QStringLiteral("请输入正确的单号!");
    }
    void screening() {
        QFETCH(QString, answer);
        QFETCH(Screening, verdict);
        QFETCH(QString, hint);
        QCOMPARE(screenAnswer(answer), verdict);
        QCOMPARE(screeningHint(verdict), hint);
    }
};

QTEST_GUILESS_MAIN(TestTrackingRequest)
#include "tst_trackingrequest.moc"
