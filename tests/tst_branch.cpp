#include "branch/branchpage.h"
#include "branch/pageclient.h"
#include "support/datatable.h"

#include <QTest>

using namespace zjx;

namespace {

// A branch page in the courier's shape: a style rule and a title cell before the rows, then one
// row per value (caption cell, value cell). `classes` gives each value cell's class; with 9 letters
// the opening tag after "td" is 19 characters, with 10 it is 20.
QString branchPage(const QStringList& values, const QStringList& classes) {
    QString page = QStringLiteral("<html><style>td { padding: 4px; }</style><table>\n<tr><td>网点信息</td></tr>\n");
    for (int i = 0; i < values.size(); ++i)
        page += QStringLiteral("<tr><td class=\"caption\">栏目</td><td class=\"%1\">%2</td></tr>\n")
                    .arg(classes.at(i), values.at(i));
    return page + QStringLiteral("</table></html>\n");
}

const QStringList nineLetterClasses{QStringLiteral("site-name"), QStringLiteral("principal"),
                                    QStringLiteral("site-full"), QStringLiteral("telephone"),
                                    QStringLiteral("scope-yes"), QStringLiteral("scope-nil")};
const QStringList courierClasses = QStringList(nineLetterClasses.mid(0, 5)) << QStringLiteral("scope-none");

const QStringList sampleValues{QStringLiteral("上海浦东"),
                               QStringLiteral("张建国"),
                               QStringLiteral("申通快递上海浦东新区分公司"),
                               QStringLiteral("021-58901234"),
                               QStringLiteral("陆家嘴、花木、张江"),
                               QStringLiteral("南汇新城镇、芦潮港")};

QStringList withValue(int index, const QString& value) {
    QStringList values = sampleValues;
    values[index] = value;
    return values;
}

QStringList fieldList(const BranchFields& fields) {
    return QStringList(fields.begin(), fields.end());
}

} // namespace

class TestBranch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void encoding_data();
    void encoding();
    void nameValue_data();
    void nameValue();
    void wireAddress_data();
    void wireAddress();
    void cutting_data();
    void cutting();
};

void TestBranch::encoding_data() {
    test::addColumns<QString, QString>("input", "expected");
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("ASCII with spaces, % and reserved characters")
        << QStringLiteral(" a B 9 %20 &=+?/# ") << QStringLiteral(" a B 9 %20 &=+?/# ");
    QTest::newRow("U+0080") << QStringLiteral("\u0080") << QStringLiteral("%C2%80");
    QTest::newRow("e acute") << QStringLiteral("é") << QStringLiteral("%C3%A9");
    QTest::newRow("U+07FF") << QStringLiteral("\u07FF") << QStringLiteral("%DF%BF");
    QTest::newRow("U+0800") << QStringLiteral("\u0800") << QStringLiteral("%E0%A0%80");
    QTest::newRow("U+FFFF") << QString(QChar(0xFFFF)) << QStringLiteral("%EF%BF%BF");
    QTest::newRow("A, space, 上") << QStringLiteral("A 上") << QStringLiteral("A %E4%B8%8A");
    QTest::newRow("surrogate pair, one group per unit")
        << QString::fromUcs4(U"\U0001F600") << QStringLiteral("%ED%A0%BD%ED%B8%80");
}

void TestBranch::encoding() {
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(UTF8_URLEncoding(input), expected);
}

void TestBranch::nameValue_data() {
    test::addColumns<QString, QString>("typed", "expected");
    QTest::newRow("spaces around and inside")
        << QStringLiteral("  上海 浦东  ") << QStringLiteral("%E4%B8%8A%E6%B5%B7 %E6%B5%A6%E4%B8%9C");
    QTest::newRow("spaces only") << QStringLiteral("   ") << QString();
    QTest::newRow("tab and ideographic space stay")
        << QStringLiteral("\t上\u3000") << QStringLiteral("\t%E4%B8%8A%E3%80%80");
}

void TestBranch::nameValue() {
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QCOMPARE(branchNameValue(typed), expected);
}

void TestBranch::wireAddress_data() {
    test::addColumns<QString, QByteArray>("nameValue", "expected");
    QTest::newRow("escaped name") << QStringLiteral("%E4%B8%8A") << QByteArray("/query_list.asp?name=%E4%B8%8A");
    QTest::newRow("inner space") << QStringLiteral("%E4%B8%8A a b")
                                 << QByteArray("/query_list.asp?name=%E4%B8%8A%20a%20b");
    QTest::newRow("stray percent") << QStringLiteral("50%off") << QByteArray("/query_list.asp?name=50%25off");
    QTest::newRow("quote, angle brackets, tab")
        << QStringLiteral("\"<a>\"\t") << QByteArray("/query_list.asp?name=%22%3Ca%3E%22%09");
    QTest::newRow("empty") << QString() << QByteArray("/query_list.asp?name=");
}

void TestBranch::wireAddress() {
    QFETCH(QString, nameValue);
    QFETCH(QByteArray, expected);
    const QString address = branchQueryAddress(QStringLiteral("127.0.0.1:18735"), nameValue);
    QCOMPARE(address, QStringLiteral("http://127.0.0.1:18735/query_list.asp?name=") + nameValue);
    const QUrl url = requestUrl(address);
    QVERIFY(url.isValid());
    QCOMPARE(url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority), expected);
}

void TestBranch::cutting_data() {
    test::addColumns<QString, QStringList>("page", "expected");
    const QStringList none(6);

    QTest::newRow("full page") << branchPage(sampleValues, courierClasses) << sampleValues;
    QTest::newRow("short page: three rows")
        << branchPage(sampleValues.mid(0, 3), courierClasses)
        << (QStringList(sampleValues.mid(0, 3)) << QString() << QString() << QString());
    QTest::newRow("page without rows") << branchPage({}, {}) << none;
    QTest::newRow("empty text") << QString() << none;
    // The value's own "td" ends its piece early and moves every later value out of place.
    QTest::newRow("value containing td") << branchPage(withValue(1, QStringLiteral("std-x")), courierClasses)
                                         << QStringList{sampleValues[0], QStringLiteral("s"), QString(),
                                                        QString(),       QString(),           QString()};
    QTest::newRow("sixth value behind a 19-character tag loses its first character")
        << branchPage(sampleValues, nineLetterClasses)
        << (QStringList(sampleValues.mid(0, 5)) << sampleValues[5].mid(1));
    QTest::newRow("end tag inside a value loses only its </")
        << branchPage(withValue(4, QStringLiteral("<a href=\"x\">花木</a> 张江<<//")), courierClasses)
        << withValue(4, QStringLiteral("<a href=\"x\">花木a> 张江</"));
    QTest::newRow("empty branch name") << branchPage(withValue(0, QString()), courierClasses)
                                       << withValue(0, QString());
}

void TestBranch::cutting() {
    QFETCH(QString, page);
    QFETCH(QStringList, expected);
    QCOMPARE(fieldList(cutBranchPage(page)), expected);
}

QTEST_GUILESS_MAIN(TestBranch)
#include "tst_branch.moc"
