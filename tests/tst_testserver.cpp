// The in-process server that window and fault tests talk to.

#include "support/datatable.h"
#include "support/testserver.h"

#include <QElapsedTimer>
#include <QTest>

#include <httplib.h>

using zjx::test::CannedResponse;
using zjx::test::TestServer;
using Fault = CannedResponse::Fault;

Q_DECLARE_METATYPE(CannedResponse::Fault)

class TestTestServer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void answersAndRecords() {
        TestServer server;
        const QByteArray page = TestServer::gbk(QStringLiteral("<tr><td>时间</td><td>已签收</td></tr></table>"));
        server.setResponse("/", {200, page, "text/html; charset=GBK"});

        httplib::Client client("127.0.0.1", server.port());
        const auto res = client.Get("/?com=shentong&nu=A%20B%26C&id=K1&type=html", {{"If-Modified-Since", "0"}});
        QVERIFY(res);
        QCOMPARE(res->status, 200);
        QCOMPARE(QByteArray::fromStdString(res->body), page);
        QCOMPARE(res->get_header_value("Content-Type"), std::string("text/html; charset=GBK"));

        const auto missing = client.Get("/elsewhere");
        QVERIFY(missing);
        QCOMPARE(missing->status, 404);

        const QList<zjx::test::RecordedRequest> requests = server.requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].method, std::string("GET"));
        QCOMPARE(requests[0].path, std::string("/"));
        QCOMPARE(requests[0].target, std::string("/?com=shentong&nu=A%20B%26C&id=K1&type=html"));
        QCOMPARE(requests[0].param("nu"), std::string("A B&C"));
        QCOMPARE(requests[0].param("type"), std::string("html"));
        QCOMPARE(requests[0].header("if-modified-since"), std::string("0"));
        QCOMPARE(requests[1].path, std::string("/elsewhere"));
        server.clearRequests();
        QVERIFY(server.requests().isEmpty());
    }

    void faults_data() {
        zjx::test::addColumns<Fault, bool>("fault", "answered");
        QTest::newRow("none") << Fault::None << true;
        QTest::newRow("refuse") << Fault::Refuse << false;
        QTest::newRow("reset mid body") << Fault::ResetMidBody << false;
        QTest::newRow("drip") << Fault::DripOneByte << true;
    }
    void faults() {
        QFETCH(Fault, fault);
        QFETCH(bool, answered);
        TestServer server;
        const QByteArray body("<table>abc</table>");
        CannedResponse canned;
        canned.body = body;
        canned.fault = fault;
        server.setResponse("/tansoftjc/zjx/jc.txt", canned);

        httplib::Client client("127.0.0.1", server.port());
        QElapsedTimer clock;
        clock.start();
        const auto res = client.Get("/tansoftjc/zjx/jc.txt");
        QCOMPARE(bool(res), answered);
        if (answered)
            QCOMPARE(QByteArray::fromStdString(res->body), body);
        if (fault == Fault::DripOneByte)
            QVERIFY(clock.elapsed() >= 50 * (body.size() - 1));
        QCOMPARE(server.requests().size(), 1);
    }

    void hangingRequestDoesNotHoldUpShutdown() {
        QElapsedTimer clock;
        {
            TestServer server;
            CannedResponse canned;
            canned.fault = Fault::NeverAnswer;
            server.setResponse("/", canned);
            httplib::Client client("127.0.0.1", server.port());
            client.set_read_timeout(0, 300000);
            QVERIFY(!client.Get("/?com=x"));
            clock.start();
        }
        QVERIFY2(clock.elapsed() < 4000, qPrintable(QString::number(clock.elapsed())));
    }

    void unusedPortRefuses() {
        const int port = TestServer::unusedPort();
        QVERIFY(port > 0);
        httplib::Client client("127.0.0.1", port);
        const auto res = client.Get("/");
        QVERIFY(!res);
        QCOMPARE(res.error(), httplib::Error::Connection);
    }
};

QTEST_GUILESS_MAIN(TestTestServer)
#include "tst_testserver.moc"
