// What the user sees when the network fails under each of the three clients (the tracking query,
// the version check, the branch lookup): every fault ends with the window usable, a hint that says
// what happened, and the book untouched.

#include "core/textcodec.h"
#include "gui/branchwindow.h"
#include "gui/platform/messagebox.h"
#include "gui/statusstrips.h"
#include "platform/environment.h"
#include "platform/httpclient.h"
#include "support/datatable.h"
#include "support/scriptedseams.h"
#include "support/testserver.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace zjx;
using namespace zjx::test;

namespace {

enum class Fault {
    Refused,          // nobody listens on the port
    ClosedUnanswered, // the connection is closed before a byte of the answer
    ResetMidBody,
    NeverAnswers, // the time limit is shortened
    HugeBody,     // 50 MB against the client's 8 MiB limit
    PackedBody,   // 50 MB that the server compresses to a few kB (Qt refuses to unpack it)
    InvalidGbk,
    ServerError, // HTTP 500 with a body
    Drip,        // one byte every 50 ms
};

const std::string trackingPath = "/";
const std::string versionPath = "/tansoftjc/zjx/jc.txt";
const std::string branchPath = "/query_list.asp";
constexpr int shortLimitMs = 800;

const QString refusedText = QStringLiteral("网络连接失败,请检查网络后重试!");
const QString brokenText = QStringLiteral("网络连接中断,请稍后重试!");
const QString timeoutText = QStringLiteral("网络连接超时,请稍后重试!");
const QString hugeText = QStringLiteral("返回的数据过大,已停止接收,请稍后重试!");
const QString failedText = QStringLiteral("网络请求失败,请检查网络后重试!");

const QString number = QStringLiteral("668031148649");
const QString note = QStringLiteral("爸爸衣服");
const QString savedRecord = number + QStringLiteral("|申通快递|") + note;
const QString otherRecord = QStringLiteral("111|顺丰快递|书");

// A server error page that even holds a table row: it must not be taken for an answer.
const QByteArray errorPage = "<html><body><h1>500 Internal Server Error</h1>"
                             "<table><tr><td>now</td><td>failed</td></tr></table></body></html>";

const QByteArray& hugeBody() {
    static const QByteArray body(50 * 1024 * 1024, 'x');
    return body;
}

// The answer for `fault`, built on the body a healthy server would send.
CannedResponse faulty(Fault fault, const QByteArray& healthy, const QByteArray& invalid) {
    CannedResponse r;
    r.body = healthy;
    switch (fault) {
    case Fault::Refused:
        break;
    case Fault::ClosedUnanswered:
        r.fault = CannedResponse::Fault::Refuse;
        break;
    case Fault::ResetMidBody:
        r.fault = CannedResponse::Fault::ResetMidBody;
        break;
    case Fault::NeverAnswers:
        r.fault = CannedResponse::Fault::NeverAnswer;
        break;
    case Fault::HugeBody:
        r.body = hugeBody();
        r.contentType = "application/octet-stream"; // a type the server sends uncompressed
        break;
    case Fault::PackedBody:
        r.body = hugeBody();
        break;
    case Fault::InvalidGbk:
        r.body = invalid;
        break;
    case Fault::ServerError:
        r.status = 500;
        r.body = errorPage;
        break;
    case Fault::Drip:
        r.fault = CannedResponse::Fault::DripOneByte;
        break;
    }
    return r;
}

QStringList valuesOf(const BranchWindow& form) {
    return form.shownValues();
}

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestNetFaults : public QObject {
    Q_OBJECT
    // One server for the answering faults and one that hangs: a hanging request holds one of the
    // server's threads until the server goes.
    std::unique_ptr<TestServer> m_server;
    std::unique_ptr<TestServer> m_hanging;

    QString hostFor(Fault fault) const {
        if (fault == Fault::Refused)
            return QStringLiteral("127.0.0.1:%1").arg(TestServer::unusedPort());
        return fault == Fault::NeverAnswers ? m_hanging->hostPort() : m_server->hostPort();
    }
    void serve(Fault fault, const std::string& path, const CannedResponse& response) {
        m_server->setResponse(path, response);
        m_hanging->setResponse(path, response);
        HttpClient::instance().setTimeoutMs(fault == Fault::NeverAnswers ? shortLimitMs : 60000);
    }

private Q_SLOTS:
    void initTestCase() {
        m_server = std::make_unique<TestServer>();
        m_hanging = std::make_unique<TestServer>();
    }
    void cleanupTestCase() {
        m_hanging.reset();
        m_server.reset();
    }
    void cleanup() { HttpClient::instance().setTimeoutMs(60000); }

    // A healthy answer has one row; the invalid one cuts a double-byte character in the middle of the
    // progress and at the very end, where no closing tags follow.
    void trackingQuery_data() {
        // fromAddPanel: else the re-query of the saved parcel
        // progress: the one row listed; empty: the list stays empty
        addColumns<Fault, bool, QString, QString>("fault", "fromAddPanel", "hint", "progress");

        const QString parsed = QStringLiteral("查询完毕...");
        const QString serverError = QStringLiteral("服务器返回错误(HTTP 500),请稍后重试!");
        const QString signedFor = QStringLiteral("已签收");
        const QString replaced = QStringLiteral("到达\uFFFD 上海\uFFFD");
        const auto row = [](const char* name, bool fromAddPanel, Fault fault, const QString& hint,
                            const QString& progress) {
            QTest::addRow("%s, %s", name, fromAddPanel ? "add panel" : "re-query")
                << fault << fromAddPanel << hint << progress;
        };
        // The transport is the same for both ways into a query: each failure is tried on one of them,
        // the add panel taking those that could leave a record behind. The answers that arrive whole are
        // tried on both, since only the add panel records them.
        row("connection refused", true, Fault::Refused, refusedText, {});
        row("closed unanswered", false, Fault::ClosedUnanswered, brokenText, {});
        row("reset mid-body", true, Fault::ResetMidBody, brokenText, {});
        row("never answers", false, Fault::NeverAnswers, timeoutText, {});
        row("50 MB body", true, Fault::HugeBody, hugeText, {});
        row("50 MB packed", false, Fault::PackedBody, failedText, {});
        row("HTTP 500", true, Fault::ServerError, serverError, {});
        for (const bool fromAddPanel : {true, false}) {
            row("invalid GBK", fromAddPanel, Fault::InvalidGbk, parsed, replaced);
            row("one byte at a time", fromAddPanel, Fault::Drip, parsed, signedFor);
        }
    }
    void trackingQuery() {
        QFETCH(Fault, fault);
        QFETCH(bool, fromAddPanel);
        QFETCH(QString, hint);
        QFETCH(QString, progress);
        const QByteArray healthy = TestServer::gbk(QStringLiteral("<tr><td>10:00</td><td>已签收"));
        const QByteArray invalid = TestServer::gbk(QStringLiteral("<tr><td>10:00</td><td>到达")) + "\x81 " +
                                   TestServer::gbk(QStringLiteral("上海")) + "\xd6";
        serve(fault, trackingPath, faulty(fault, healthy, invalid));
        WindowFixture fx(hostFor(fault));
        const QByteArray book = codec::gbkLines({otherRecord, savedRecord});
        fx.writeStore(book);
        auto w = fx.makeWindow();

        if (fromAddPanel) {
            w->addPanel().openEmpty();
            typeIntoAddPanel(*w, number + QStringLiteral("0"), QStringLiteral("申通快递"), QStringLiteral("新的"));
            w->startQuery();
        } else {
            parcelSelector(*w)->setCurrentIndex(1);
            w->askAboutChosen();
        }
        QTRY_VERIFY(!w->parcelQuery().parseTimer().isActive());
        QCOMPARE(w->strips().text(StatusStrips::Hint), hint);

        // Usable: nothing waits, both ways into a query are open, no box was left behind.
        QVERIFY(!HttpClient::instance().isWaiting());
        QVERIFY(queryButton(*w)->isEnabled());
        QVERIFY(parcelSelector(*w)->isEnabled());
        QVERIFY(test::ScriptedBoxes::shown().isEmpty());
        QVERIFY(w->parcelQuery().session().answerText.isEmpty());

        const bool answered = !progress.isEmpty();
        QCOMPARE(progressRows(*w)->topLevelItemCount(), answered ? 1 : 0);
        if (answered) {
            QCOMPARE(progressRows(*w)->topLevelItem(0)->text(1), QStringLiteral("10:00"));
            QCOMPARE(progressRows(*w)->topLevelItem(0)->text(2), progress);
        }
        // Only an answer that came whole records a new parcel; a re-query never does.
        const QString added = number + QStringLiteral("0|申通快递|新的");
        const QByteArray expectedBook = answered && fromAddPanel ? book + codec::gbkLines({added}) : book;
        QCOMPARE(fx.storeBytes(), expectedBook);
        QCOMPARE(parcelSelector(*w)->count(), answered && fromAddPanel ? 3 : 2);

        // The next query runs normally once the service is healthy again.
        if (fault != Fault::Refused && fault != Fault::NeverAnswers) {
            m_server->setResponse(trackingPath, CannedResponse{200, healthy});
            parcelSelector(*w)->setCurrentIndex(1);
            w->askAboutChosen();
            QTRY_COMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("查询完毕..."));
            QCOMPARE(progressRows(*w)->topLevelItemCount(), 1);
            QCOMPARE(w->strips().text(StatusStrips::State), QStringLiteral("已签收"));
            QCOMPARE(fx.storeBytes(), expectedBook);
        }
    }

    void versionCheck_data() {
        // box empty: none
        addColumns<Fault, QString, bool>("fault", "box", "ends");
        // A refused connection is tst_version's "unreachable".
        const QString failed = QStringLiteral("检测更新失败!请您稍后再试,暂时使用原版");
        dataRow("closed unanswered", Fault::ClosedUnanswered, failed, false);
        dataRow("reset mid-body", Fault::ResetMidBody, failed, false);
        dataRow("never answers", Fault::NeverAnswers, failed, false);
        dataRow("50 MB body", Fault::HugeBody, failed, false);
        dataRow("50 MB packed", Fault::PackedBody, failed, false);
        dataRow("HTTP 500", Fault::ServerError, failed, false);
        dataRow("one byte at a time", Fault::Drip, QString(), false);
        // A version file that is not exactly "V4.0" names another version, whatever its bytes: the
        // cut-off last byte shows as U+FFFD in the notice and the program ends, as for "V4.1".
        dataRow("invalid GBK", Fault::InvalidGbk,
                QStringLiteral("发现最新版本![V4.0\uFFFD]\r\n \r\n确定后自动打开官方论坛!"), true);
    }
    void versionCheck() {
        QFETCH(Fault, fault);
        QFETCH(QString, box);
        QFETCH(bool, ends);
        serve(fault, versionPath, faulty(fault, "V4.0", "V4.0\x81"));
        WindowFixture fx(hostFor(fault));
        const QByteArray book = codec::gbkLines({otherRecord, savedRecord});
        fx.writeStore(book);
        int endings = 0;
        ProgramEnd::setHandler([&endings] { ++endings; });
        auto w = fx.makeWindow(false);
        QVERIFY(!queryButton(*w)->isEnabled());

        w->checkVersion();
        QVERIFY(!w->versionTimer().isActive());
        QVERIFY(!HttpClient::instance().isWaiting());
        QCOMPARE(test::ScriptedBoxes::shownTexts(), box.isEmpty() ? QStringList() : QStringList{box});
        if (!box.isEmpty())
            QCOMPARE(test::ScriptedBoxes::shown().first().icon,
                     ends ? MessageBox::Icon::Information : MessageBox::Icon::Warning);
        QCOMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("程序已加载完毕..."));
        QCOMPARE(endings, ends ? 1 : 0);
        QCOMPARE(queryButton(*w)->isEnabled(), !ends);
        QCOMPARE(parcelSelector(*w)->isEnabled(), !ends);
        QCOMPARE(parcelSelector(*w)->count(), 2);
        QCOMPARE(fx.storeBytes(), book);
    }

    void branchLookup_data() {
        // status: second status panel; empty: unchanged
        // name: the branch name shown; empty: every row "未查询"
        addColumns<Fault, QString, QString>("fault", "status", "name");
        const QString notFound = QStringLiteral("您查询的网点不存在!");
        QTest::newRow("connection refused") << Fault::Refused << refusedText << QString();
        QTest::newRow("closed unanswered") << Fault::ClosedUnanswered << brokenText << QString();
        QTest::newRow("reset mid-body") << Fault::ResetMidBody << brokenText << QString();
        QTest::newRow("never answers") << Fault::NeverAnswers << timeoutText << QString();
        QTest::newRow("50 MB body") << Fault::HugeBody << hugeText << QString();
        QTest::newRow("50 MB packed") << Fault::PackedBody << failedText << QString();
        // The lookup takes an error page like any page: without a branch name in it, no such branch.
        QTest::newRow("HTTP 500") << Fault::ServerError << notFound << QString();
        QTest::newRow("invalid GBK") << Fault::InvalidGbk << QString() << QStringLiteral("浦东\uFFFD");
        QTest::newRow("one byte at a time") << Fault::Drip << QString() << QStringLiteral("浦东");
    }
    // The smallest page with a branch name: six "td" before it, then its cell's 19-character tag.
    void branchLookup() {
        QFETCH(Fault, fault);
        QFETCH(QString, status);
        QFETCH(QString, name);
        const QByteArray head = "tdtdtdtdtdtd class='site-name'>"; // " class='site-name'>" is 19 characters
        const QByteArray healthy = head + TestServer::gbk(QStringLiteral("浦东")) + "</td>";
        const QByteArray invalid = head + TestServer::gbk(QStringLiteral("浦东")) + "\x81</td>";
        serve(fault, branchPath, faulty(fault, healthy, invalid));
        WindowFixture fx(m_server->hostPort());
        const QByteArray book = codec::gbkLines({otherRecord, savedRecord});
        fx.writeStore(book);
        auto w = fx.makeWindow();
        BranchWindow form(hostFor(fault), w.get());
        form.show();
        const QString startStatus = form.statusText();

        test::named<QLineEdit>(&form, QStringLiteral("网点名称"))->setText(QStringLiteral("浦东"));
        QTest::mouseClick(test::named<QPushButton>(&form, QStringLiteral("查询")), Qt::LeftButton);
        if (name.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(test::ScriptedBoxes::shownTexts(), QStringList{status}, 10000);
            QCOMPARE(valuesOf(form), QStringList(6, QStringLiteral("未查询")));
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(form.shownValues().at(0), name, 10000);
            QVERIFY(test::ScriptedBoxes::shown().isEmpty());
            QCOMPARE(valuesOf(form).mid(1), QStringList(5, QString()));
        }
        QCOMPARE(form.statusText(), status.isEmpty() ? startStatus : status);

        // The window stays open and answers the next lookup; the book never moved.
        QVERIFY(form.isVisible());
        QVERIFY(test::named<QPushButton>(&form, QStringLiteral("查询"))->isEnabled());
        QCOMPARE(fx.storeBytes(), book);
        QCOMPARE(parcelSelector(*w)->count(), 2);
        if (fault != Fault::Refused && fault != Fault::NeverAnswers) {
            test::ScriptedBoxes::clearShown();
            m_server->setResponse(branchPath, CannedResponse{200, healthy});
            QTest::mouseClick(test::named<QPushButton>(&form, QStringLiteral("查询")), Qt::LeftButton);
            QTRY_COMPARE(form.shownValues().at(0), QStringLiteral("浦东"));
        }
    }
};

QTEST_MAIN(TestNetFaults)
#include "tst_netfaults.moc"
