#include "branch/pageclient.h"
#include "gui/branchwindow.h"
#include "gui/platform/messagebox.h"
#include "platform/httpclient.h"
#include "support/datatable.h"
#include "support/scriptedseams.h"
#include "support/testserver.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace zjx;
using namespace zjx::test;

namespace {

const std::string queryPath = "/query_list.asp";
const QString startStatus = QStringLiteral("请输入要查询的网点名称");
const QString notFound = QStringLiteral("您查询的网点不存在!");

// The courier's page shape: the values fall in pieces 6, 10 ... 26 of the page cut at "td".
QByteArray branchPage(const QStringList& values) {
    static const QStringList classes{QStringLiteral("site-name"), QStringLiteral("principal"),
                                     QStringLiteral("site-full"), QStringLiteral("telephone"),
                                     QStringLiteral("scope-yes"), QStringLiteral("scope-none")};
    QString page = QStringLiteral("<html><style>td { padding: 4px; }</style><table>\n<tr><td>网点信息</td></tr>\n");
    for (int i = 0; i < values.size(); ++i)
        page += QStringLiteral("<tr><td class=\"caption\">栏目</td><td class=\"%1\">%2</td></tr>\n")
                    .arg(classes.at(i), values.at(i));
    return (page + QStringLiteral("</table></html>\n")).toUtf8();
}

const QStringList pudong{QStringLiteral("上海浦东"),
                         QStringLiteral("张建国"),
                         QStringLiteral("申通快递上海浦东新区分公司"),
                         QStringLiteral("021-58901234"),
                         QStringLiteral("陆家嘴、花木、张江、金桥、北蔡、三林、川沙新镇全境"),
                         QStringLiteral("南汇新城镇、芦潮港")};
const QStringList chaoyang{
    QStringLiteral("北京朝阳"),     QStringLiteral("李卫东"),     QStringLiteral("申通快递北京朝阳区分公司"),
    QStringLiteral("010-65012345"), QStringLiteral("国贸、望京"), QStringLiteral("金盏")};

CannedResponse utf8Page(const QByteArray& body, int status = 200, int delayMs = 0) {
    CannedResponse r;
    r.status = status;
    r.body = body;
    r.contentType = "text/html; charset=utf-8";
    r.delayMs = delayMs;
    return r;
}

QStringList shownValues(const BranchWindow& w) {
    return w.shownValues();
}

const QStringList allNotQueried(6, QStringLiteral("未查询"));

} // namespace

class TestBranchWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // One server for all cases: stopping one waits for the client's kept-alive connection.
    void initTestCase() { m_server = std::make_unique<TestServer>(); }

    void cleanupTestCase() { m_server.reset(); }

    void init() {
        m_server->clearRequests();
        m_server->setResponse(queryPath, utf8Page(branchPage({})));
        m_fx = std::make_unique<test::WindowFixture>(m_server->hostPort());
        m_form = std::make_unique<BranchWindow>(m_server->hostPort());
        m_form->show();
    }

    void cleanup() {
        m_form.reset();
        m_fx.reset();
    }

    void emptyNameOnlySetsStatus_data() { addBoolRows("byEnter", "button", "Enter in the name box"); }
    void emptyNameOnlySetsStatus() {
        QFETCH(bool, byEnter);
        lookUp(QString(), byEnter);
        QCOMPARE(m_form->statusText(), QStringLiteral("请输入您要查询的站点.."));
        QCOMPARE(shownValues(*m_form), allNotQueried);
        QVERIFY(test::ScriptedBoxes::shown().isEmpty());
        QVERIFY(m_server->requests().isEmpty());
    }

    void found_data() {
        addColumns<QString, QString, int>("typed", "target", "status");
        dataRow("plain name", QStringLiteral("上海浦东"),
                QStringLiteral("/query_list.asp?name=%E4%B8%8A%E6%B5%B7%E6%B5%A6%E4%B8%9C"), 200);
        dataRow("spaces around and inside", QStringLiteral("  上海 浦东 "),
                QStringLiteral("/query_list.asp?name=%E4%B8%8A%E6%B5%B7%20%E6%B5%A6%E4%B8%9C"), 200);
        dataRow("spaces only: empty name value", QStringLiteral("   "), QStringLiteral("/query_list.asp?name="), 200);
        dataRow("error status: its page counts", QStringLiteral("上海浦东"),
                QStringLiteral("/query_list.asp?name=%E4%B8%8A%E6%B5%B7%E6%B5%A6%E4%B8%9C"), 500);
    }
    void found() {
        QFETCH(QString, typed);
        QFETCH(QString, target);
        QFETCH(int, status);
        m_server->setResponse(queryPath, utf8Page(branchPage(pudong), status));
        lookUp(typed);
        QTRY_COMPARE(shownValues(*m_form), pudong);
        QCOMPARE(m_form->statusText(), startStatus);
        QVERIFY(test::ScriptedBoxes::shown().isEmpty());

        const QList<RecordedRequest> requests = m_server->requests();
        QCOMPARE(requests.size(), 1);
        QCOMPARE(QString::fromStdString(requests[0].target), target);
        QCOMPARE(requests[0].header("If-Modified-Since"), std::string("0"));

        QTest::mouseClick(test::named<QLabel>(m_form.get(), QStringLiteral("派送范围：")), Qt::LeftButton);
        QCOMPARE(test::ScriptedBoxes::shownTexts(), QStringList{pudong[4]});
    }

    void notFoundThenFound() {
        m_server->setHandler(queryPath, [](const RecordedRequest& r) {
            return utf8Page(r.param("name") == "上海浦东" ? branchPage(pudong) : branchPage({}));
        });
        // Before any lookup the stored delivery range is empty: a click on it shows nothing.
        QCOMPARE(test::named<QLabel>(m_form.get(), QStringLiteral("派送范围："))->cursor().shape(),
                 Qt::PointingHandCursor);
        QTest::mouseClick(test::named<QLabel>(m_form.get(), QStringLiteral("派送范围：")), Qt::LeftButton);
        QVERIFY(test::ScriptedBoxes::shown().isEmpty());
        lookUp(QStringLiteral("上海浦东"));
        QTRY_COMPARE(shownValues(*m_form), pudong);

        lookUp(QStringLiteral("火星"));
        QTRY_COMPARE(test::ScriptedBoxes::shownTexts(), QStringList{notFound});
        QCOMPARE(test::ScriptedBoxes::shown().first().icon, MessageBox::Icon::Information);
        QCOMPARE(shownValues(*m_form), allNotQueried);
        QCOMPARE(m_form->statusText(), notFound);
        QCOMPARE(m_form->fieldValues(), BranchFields{});
        QTest::mouseClick(test::named<QLabel>(m_form.get(), QStringLiteral("派送范围：")),
                          Qt::LeftButton); // the stored range was cleared
        QCOMPARE(test::ScriptedBoxes::shown().size(), 1);

        lookUp(QStringLiteral("上海浦东"));
        QTRY_COMPARE(shownValues(*m_form), pudong);
        QCOMPARE(m_form->statusText(), notFound); // success leaves the status bar as it was
        QCOMPARE(test::ScriptedBoxes::shown().size(), 1);
    }

    void failedTransferKeepsWindowUsable() {
        m_form = std::make_unique<BranchWindow>(QStringLiteral("127.0.0.1:%1").arg(TestServer::unusedPort()));
        m_form->show();
        const QString failure = QStringLiteral("网络连接失败,请检查网络后重试!");
        lookUp(QStringLiteral("上海浦东"));
        QTRY_COMPARE(test::ScriptedBoxes::shownTexts(), QStringList{failure});
        QCOMPARE(m_form->statusText(), failure);
        QCOMPARE(shownValues(*m_form), allNotQueried);
        QVERIFY(m_form->isVisible());
        lookUp(QStringLiteral("北京朝阳"));
        QTRY_COMPARE(test::ScriptedBoxes::shown().size(), 2);
    }

    void lastAnswerDecides() {
        // The first lookup's page comes late, after the second one's.
        m_server->setHandler(queryPath, [](const RecordedRequest& r) {
            return r.param("name") == "上海浦东" ? utf8Page(branchPage(pudong), 200, 400)
                                                 : utf8Page(branchPage(chaoyang));
        });
        lookUp(QStringLiteral("上海浦东"));
        lookUp(QStringLiteral("北京朝阳"));
        QTRY_COMPARE(shownValues(*m_form), chaoyang);
        QTRY_COMPARE(shownValues(*m_form), pudong);
        QCOMPARE(m_server->requests().size(), 2);
        QTest::mouseClick(test::named<QLabel>(m_form.get(), QStringLiteral("派送范围：")), Qt::LeftButton);
        QCOMPARE(test::ScriptedBoxes::shownTexts(), QStringList{pudong[4]});
    }

    void closingDuringLookup_data() { addBoolRows("destroyed", "window closed, still alive", "window destroyed"); }
    void closingDuringLookup() {
        QFETCH(bool, destroyed);
        // A not-found page: had the late answer reached the window, it would have shown its message.
        m_server->setResponse(queryPath, utf8Page(branchPage({}), 200, 300));
        lookUp(QStringLiteral("上海浦东"));
        QTRY_COMPARE(m_server->requests().size(), 1);
        QVERIFY(m_form->close());
        if (destroyed)
            m_form.reset();

        // A later request on the same slow path answers after the window's own answer came in.
        QObject probe;
        bool probeDone = false;
        GetBody(m_server->baseUrl() + QStringLiteral("/query_list.asp?name=x"), &probe,
                [&probeDone](const HttpResult&) { probeDone = true; });
        QTRY_VERIFY(probeDone);
        QVERIFY(test::ScriptedBoxes::shown().isEmpty());
        if (!destroyed) {
            QCOMPARE(shownValues(*m_form), allNotQueried);
            QCOMPARE(m_form->statusText(), startStatus);
        }
    }

    void menuOpensFreshWindow() {
        m_form.reset();
        auto window = m_fx->makeWindow();
        QStringList seen;
        const auto openAndClose = [&](const QString& typed) {
            test::whenModalOpens<BranchWindow>([&, typed](BranchWindow* lookup) {
                seen << lookup->windowTitle() << test::named<QLineEdit>(lookup, QStringLiteral("网点名称"))->text()
                     << shownValues(*lookup).join(u'|');
                test::named<QLineEdit>(lookup, QStringLiteral("网点名称"))->setText(typed);
                lookup->close();
            });
            window->menu().choose(0);
        };
        openAndClose(QStringLiteral("上海浦东"));
        openAndClose(QString());
        const QString rows = allNotQueried.join(u'|');
        QCOMPARE(seen, (QStringList{QStringLiteral("网店信息查询"), QString(), rows, QStringLiteral("网店信息查询"),
                                    QString(), rows}));
        QVERIFY(!QApplication::activeModalWidget());
    }

private:
    std::unique_ptr<TestServer> m_server;
    std::unique_ptr<test::WindowFixture> m_fx;
    std::unique_ptr<BranchWindow> m_form;

    void lookUp(const QString& name, bool byEnter = false) {
        test::named<QLineEdit>(m_form.get(), QStringLiteral("网点名称"))->setText(name);
        if (byEnter)
            QTest::keyClick(test::named<QLineEdit>(m_form.get(), QStringLiteral("网点名称")), Qt::Key_Return);
        else
            QTest::mouseClick(test::named<QPushButton>(m_form.get(), QStringLiteral("查询")), Qt::LeftButton);
    }
};

QTEST_MAIN(TestBranchWindow)
#include "tst_branchwindow.moc"
