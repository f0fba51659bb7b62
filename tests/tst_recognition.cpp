#include "fakes/recognitionfakes.h"
#include "httpserver.h"
#include "recognition.h"
#include "trackingpages.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QtTest>

using namespace zjx;
using namespace zjx::gateway;
using zjx::fakes::FakeRecognition;

class TestRecognition : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void routeAgainstEachProvider_data();
    void routeAgainstEachProvider();
};

namespace {

struct Answer {
    int status = 0;
    QByteArray body;
};

Answer get(quint16 port, const QString& number, const QString& key = QString::fromLatin1(service::kAccessKey)) {
    QNetworkAccessManager net;
    QNetworkReply* reply =
        net.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/autonumber?nu=%2&id=%3")
                                         .arg(port)
                                         .arg(QString::fromLatin1(QUrl::toPercentEncoding(number)), key))));
    QSignalSpy done(reply, &QNetworkReply::finished);
    done.wait(10000);
    Answer a{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll()};
    delete reply;
    return a;
}

} // namespace

void TestRecognition::routeAgainstEachProvider_data() {
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QByteArray>("candidates");
    // China Post's parcel service is two companies of the program, both offered.
    QTest::newRow("kuaidi100") << "kuaidi100" << QByteArray("gnxb\npingyou\nzhongtong");
    QTest::newRow("kdniao") << "kdniao" << QByteArray("gnxb\npingyou\nzhongtong");
    QTest::newRow("17track: detection would spend quota") << "17track" << QByteArray();
    QTest::newRow("demo") << "demo" << QByteArray();
}

void TestRecognition::routeAgainstEachProvider() {
    QFETCH(QString, backend);
    QFETCH(QByteArray, candidates);
    const bool asks = !candidates.isEmpty();
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

QTEST_GUILESS_MAIN(TestRecognition)
#include "tst_recognition.moc"
