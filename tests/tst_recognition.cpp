#include "fakes/hostileprovider.h"
#include "fakes/recognitionfakes.h"
#include "httpserver.h"
#include "recognition.h"
#include "stress/loopbackflood.h"
#include "support/datatable.h"
#include "trackingpages.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QtTest>

#include <array>
#include <thread>

using namespace zjx;
using namespace zjx::gateway;
using zjx::fakes::FakeRecognition;
using zjx::fakes::HostileProvider;

class TestRecognition : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void routeAgainstEachProvider_data();
    void routeAgainstEachProvider();
    void hostileAnswersAreCutShort_data();
    void hostileAnswersAreCutShort();
    void waitingQueriesAreBoundedAndAbandonedOnesDropped();
    void clientsThatCloseCostNothing();
};

namespace {

struct Answer {
    int status = 0;
    QByteArray body;
    QByteArray backend; // X-Zjx-Backend
};

Answer get(quint16 port, const QString& number, const QString& key = QString::fromLatin1(service::kAccessKey)) {
    QNetworkAccessManager net;
    QNetworkReply* reply =
        net.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/autonumber?nu=%2&id=%3")
                                         .arg(port)
                                         .arg(QString::fromLatin1(QUrl::toPercentEncoding(number)), key))));
    QSignalSpy done(reply, &QNetworkReply::finished);
    done.wait(10000);
    Answer a{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
             reply->rawHeader("X-Zjx-Backend")};
    delete reply;
    return a;
}

GatewayConfig kuaidi100At(const QString& url, int timeoutSeconds = 20) {
    GatewayConfig config;
    config.backend = QStringLiteral("kuaidi100");
    config.kuaidi100Key = QStringLiteral("fake-key-0123456789");
    config.kuaidi100Customer = QStringLiteral("FAKECUSTOMER01");
    config.kuaidi100Url = QUrl(url);
    config.timeoutSeconds = timeoutSeconds;
    return config;
}

} // namespace

void TestRecognition::routeAgainstEachProvider_data() {
    zjx::test::addColumns<QString, QByteArray, bool>("backend", "candidates", "asks");
    // China Post's parcel service is two companies of the program, both offered.
    QTest::newRow("kuaidi100") << "kuaidi100" << QByteArray("gnxb\npingyou\nzhongtong") << true;
    QTest::newRow("kdniao") << "kdniao" << QByteArray("gnxb\npingyou\nzhongtong") << true;
    QTest::newRow("17track: detection would spend quota") << "17track" << QByteArray() << false;
    // The demo reads the shape as its histories are made: a 13-digit "77" number is 申通's.
    QTest::newRow("demo") << "demo" << QByteArray("shentong") << false;
}

void TestRecognition::routeAgainstEachProvider() {
    QFETCH(QString, backend);
    QFETCH(QByteArray, candidates);
    QFETCH(bool, asks);
    FakeRecognition fake(backend == u"kdniao" ? FakeRecognition::Kind::Kdniao : FakeRecognition::Kind::Kuaidi100);
    QVERIFY(fake.start());
    GatewayConfig config;
    config.backend = backend;
    config.kuaidi100Key = config.kdniaoAppKey = config.track17Key = QStringLiteral("fake-key-0123456789");
    config.kuaidi100Customer = config.kdniaoBusinessId = QStringLiteral("FAKECUSTOMER01");
    config.kuaidi100Url = config.kdniaoUrl = QUrl(fake.url());
    QStringList log;
    const auto recognition = makeRecognitionBackend(config, [&log](const QString& line) { log << line; });
    service::HttpServer server;
    addRecognitionRoute(server, *recognition);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));

    const Answer first = get(server.port(), QStringLiteral("7730123456789"));
    QCOMPARE(first.status, 200);
    QCOMPARE(first.body, candidates);
    QCOMPARE(first.backend, backend.toLatin1());
    // Asked again within the cache lifetime: the same answer, no second upstream request.
    QCOMPARE(get(server.port(), QStringLiteral("7730123456789")).body, candidates);
    QCOMPARE(fake.requests(), asks ? 1 : 0);
    QCOMPARE(fake.badSigns(), 0);

    QCOMPARE(get(server.port(), QStringLiteral("NONE123456")).body, QByteArray());
    QCOMPARE(get(server.port(), QStringLiteral("7730123456789"), QStringLiteral("WRONG")).status, 403);
    QCOMPARE(get(server.port(), QStringLiteral("7730 1234")).body, QByteArray()); // never sent upstream
    const Answer refused = get(server.port(), QStringLiteral("ERR1234567"));
    QCOMPARE(refused.status, asks ? 503 : 200); // quota: the provider refused
    const int before = fake.requests();
    get(server.port(), QStringLiteral("ERR1234567")); // a failing number waits a minute
    QCOMPARE(fake.requests(), before);
    QCOMPARE(log.size(), asks ? 1 : 0);
    for (const QString& line : log)
        QVERIFY(!line.contains(u"fake-key"));
}

void TestRecognition::hostileAnswersAreCutShort_data() {
    // reason: the start of the log line's reason.
    zjx::test::addColumns<QString, int, QString>("number", "status", "reason");
    // A followed redirect would carry the number and the key to the thief.
    QTest::newRow("307") << "REDIRECT307A" << 502 << "127.0.0.1 answered HTTP 307, a redirect to 127.0.0.2";
    QTest::newRow("308") << "REDIRECT308A" << 502 << "127.0.0.1 answered HTTP 308, a redirect to 127.0.0.2";
    QTest::newRow("100 MB announced") << "HUGE1234" << 502 << "127.0.0.1 sent an answer over 4096 KiB";
    QTest::newRow("endless stream") << "ENDLESS1" << 502 << "127.0.0.1 sent an answer over 4096 KiB";
    // A byte every 100 ms never trips the inactivity timeout; the 1 s deadline ends it.
    QTest::newRow("slow drip") << "DRIP1234" << 504 << "127.0.0.1 did not finish its answer within 1 s";
}

void TestRecognition::hostileAnswersAreCutShort() {
    QFETCH(QString, number);
    QFETCH(int, status);
    QFETCH(QString, reason);
    zjx::fakes::FakeProvider honest(zjx::fakes::FakeKind::Kuaidi100);
    QVERIFY(honest.start());
    HostileProvider hostile(honest);
    QVERIFY(hostile.start());
    hostile.setDripMs(100);
    QStringList log;
    const auto recognition = makeRecognitionBackend(kuaidi100At(hostile.url(), number.startsWith(u"DRIP") ? 1 : 10),
                                                    [&](const QString& l) { log << l; });
    int got = 0;
    recognition->answer(number, QString::fromLatin1(service::kAccessKey), {},
                        [&got](const service::Reply& reply) { got = reply.status; });
    QTRY_VERIFY_WITH_TIMEOUT(got != 0, 10000);
    QCOMPARE(got, status);
    QCOMPARE(log.size(), 1);
    QVERIFY2(log.first().contains(reason), qPrintable(log.first()));
    QCOMPARE(hostile.stolen(), 0);
    if (number.startsWith(u"DRIP"))
        QVERIFY2(hostile.hostileBytes() < 30, qPrintable(QString::number(hostile.hostileBytes())));
    // Stopped: beyond the cap only what the socket buffers took.
    QVERIFY2(hostile.hostileBytes() < 64 * 1024 * 1024, qPrintable(QString::number(hostile.hostileBytes())));
}

// Ten numbers at a provider that takes its time: eight may wait, the rest are told 503 at once;
// queries whose clients went away make room and are never sent.
void TestRecognition::waitingQueriesAreBoundedAndAbandonedOnesDropped() {
    zjx::fakes::FakeProvider honest(zjx::fakes::FakeKind::Kuaidi100);
    QVERIFY(honest.start());
    HostileProvider hostile(honest); // every DRIP number is a slow answer, cut at the 1 s deadline
    QVERIFY(hostile.start());
    const GatewayConfig config = kuaidi100At(hostile.url());
    RecognitionBackend recognition(
        std::make_unique<Kuaidi100Recognizer>(
            ClientOptions{Kuaidi100Recognizer::urlBeside(config.kuaidi100Url), 1000, {}}, config.kuaidi100Key),
        30, {}, 8);
    std::array<bool, 11> waits{};
    std::array<int, 11> status{};
    const auto send = [&](int i) {
        waits[size_t(i)] = true;
        recognition.answer(
            QStringLiteral("DRIP%1").arg(i, 6, 10, QChar(u'0')), QString::fromLatin1(service::kAccessKey),
            [&waits, i] { return waits[size_t(i)]; },
            [&status, i](const service::Reply& r) { status[size_t(i)] = r.status; });
    };
    for (int i = 0; i < 10; ++i)
        send(i);
    QCOMPARE(status[7], 0);
    QCOMPARE(status[8], 503);
    QCOMPARE(status[9], 503);
    QCOMPARE(recognition.upstreamQueries(), 8);
    for (int i = 1; i < 8; ++i)
        waits[size_t(i)] = false;
    send(10);
    QCOMPARE(status[10], 0);
    // Six were on the wire; the two queued ones that nobody wants are dropped at their turn.
    QTRY_COMPARE_WITH_TIMEOUT(recognition.droppedQueries(), 2, 10000);
    QCOMPARE(status[6], 503);
    QCOMPARE(status[7], 503);
    QTRY_VERIFY_WITH_TIMEOUT(status[10] != 0, 10000);
    QCOMPARE(recognition.droppedQueries(), 2);
}

// Clients that send their number and close (normally, or only their sending side) before the
// service reads it: the closed ones cost no provider request, the half-closed one is answered.
void TestRecognition::clientsThatCloseCostNothing() {
    FakeRecognition fake(FakeRecognition::Kind::Kuaidi100);
    QVERIFY(fake.start());
    const auto recognition = makeRecognitionBackend(kuaidi100At(fake.url()), {});
    service::HttpServer server;
    addRecognitionRoute(server, *recognition);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    const auto request = [](int i) {
        return "GET /autonumber?nu=77301234" + std::to_string(10 + i) + "&id=" + service::kAccessKey +
               " HTTP/1.1\r\n\r\n";
    };
    for (int i = 0; i < 20; ++i) // each sent and closed before the service's loop runs
        zjx::stress::exchange(server.port(), request(i), 1, false, 0);
    QTRY_COMPARE_WITH_TIMEOUT(recognition->droppedQueries(), 20, 5000);
    QCOMPARE(fake.requests(), 0);
    std::string answer;
    std::thread halfClosed([&] { answer = zjx::stress::exchange(server.port(), request(99), 10, true); });
    QTRY_VERIFY_WITH_TIMEOUT(fake.requests() == 1 && answer.find("zhongtong") != std::string::npos, 10000);
    halfClosed.join();
    QCOMPARE(recognition->droppedQueries(), 20);
}

QTEST_GUILESS_MAIN(TestRecognition)
#include "tst_recognition.moc"
