// The program's own service child: start and port hand-over, a child that cannot start, and the
// child ending with its parent, also when the parent is killed.
#include "gui/statusstrips.h"
#include "platform/gatewaychild.h"
#include "platform/httpclient.h"
#include "stress/loopbackflood.h"
#include "support/datarows.h"
#include "support/datatable.h"
#include "support/scriptedseams.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <csignal>
#include <optional>
#include <thread>
#include <unistd.h>

using zjx::GatewayChild;
using namespace zjx;
using namespace zjx::test;

namespace {

// A process that has ended (a zombie waiting to be reaped counts as ended).
bool processGone(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const qsizetype afterName = text.lastIndexOf(')');
    return afterName < 0 || text.mid(afterName + 2, 1) == "Z";
}

// A GET that carries no secret, as another user's program or a browser would send it.
std::pair<int, QByteArray> foreignGet(const QString& url) {
    QNetworkAccessManager manager;
    QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(url)));
    QSignalSpy done(reply, &QNetworkReply::finished);
    done.wait(5000);
    const auto result =
        std::make_pair(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll());
    delete reply;
    return result;
}

// Kills `pid` and waits for its end without the event loop, which has not heard of it yet.
void killAndWaitForTheEnd(qint64 pid) {
    ::kill(pid_t(pid), SIGKILL);
    while (!processGone(pid))
        QThread::usleep(200);
}

bool goneWithin(qint64 pid, int msecs) {
    QElapsedTimer clock;
    clock.start();
    while (!processGone(pid)) {
        if (clock.elapsed() > msecs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

// The address the child's line tells, empty when it tells none.
using LineRow = std::tuple<const char*, QByteArray, QString>;
// The child, how long to wait for its port, and the start of the reason given.
using FailingChildRow = std::tuple<const char*, QString, int, QString>;

} // namespace

class TestGateway : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString script(const QString& name, const QByteArray& body) {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write("#!/bin/sh\n" + body + '\n');
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }
    static QString servicePath() { return QCoreApplication::applicationDirPath() + QStringLiteral("/zjx-service"); }

private Q_SLOTS:
    void startupLine_data() {
        const LineRow rows[] = {
            {"service", "zjx-service listening on http://127.0.0.1:41234 (demo data)\n", "127.0.0.1:41234"},
            {"crlf", "zjx-service listening on http://127.0.0.1:80 (x)\r\n", "127.0.0.1:80"},
            {"ipv6", "zjx-service listening on http://[::1]:5000 (x)", "[::1]:5000"},
            {"port 0", "zjx-service listening on http://127.0.0.1:0 (x)", QString()},
            {"port too big", "zjx-service listening on http://127.0.0.1:70000 (x)", QString()},
            {"port not a number", "zjx-service listening on http://127.0.0.1:5x (x)", QString()},
            {"other program", "listening on http://127.0.0.1:5000 (x)", QString()},
            {"request log", "12:00:01 GET /?com=x 200 12", QString()},
        };
        addRows(rows);
    }
    void startupLine() {
        QFETCH(LineRow, row);
        const auto& [name, line, address] = row;
        QCOMPARE(GatewayChild::addressFromLine(line), address);
    }

    void realServiceAnswersOnItsPort() {
        QVERIFY2(QFile::exists(servicePath()), "zjx-service is built with the tests");
        qint64 pid = 0;
        {
            GatewayChild gateway;
            QSignalSpy ready(&gateway, &GatewayChild::ready);
            // Named only: the first user of the network starts it.
            gateway.setProgram(servicePath());
            QCOMPARE(gateway.state(), GatewayChild::State::NotStarted);
            QVERIFY(gateway.waitForAddress(5000));
            QCOMPARE(ready.count(), 1);
            QVERIFY(gateway.address().startsWith(QStringLiteral("127.0.0.1:")));
            QVERIFY(!gateway.address().endsWith(QStringLiteral(":18735")));
            // Many requests: the service's log lines must not fill the pipe and stall it.
            for (int i = 0; i < 300; ++i) {
                const zjx::HttpResult result = zjx::HttpClient::instance().getBlocking(
                    QUrl(QStringLiteral("http://%1/tansoftjc/zjx/jc.txt").arg(gateway.address())));
                QVERIFY2(result.ok() && result.status == 200, qPrintable(result.errorText));
                QCOMPARE(result.body, QStringLiteral("V4.0"));
            }
            pid = gateway.processId();
            QVERIFY(!processGone(pid));
        }
        QVERIFY(goneWithin(pid, 2000));
    }

    // The secret reaches the child through a pipe only, and every request of the program carries
    // it; a request without it is refused, the browser's local pages excepted.
    void serviceServesOnlyItsProgram() {
        QVERIFY2(QFile::exists(servicePath()), "zjx-service is built with the tests");
        zjx::test::WindowFixture fixture;
        for (const char* name : {"ZJX_TRACKING_HOST", "ZJX_BRANCH_HOST", "ZJX_SOFTWARE_SITE", "ZJX_FORUM_SITE",
                                 "ZJX_FEEDBACK_SITE", "ZJX_HOME_SITE"})
            qunsetenv(name);
        auto window = fixture.makeWindow();
        GatewayChild gateway, other;
        QVERIFY(gateway.secret().size() >= 32 && gateway.secret() != other.secret());
        gateway.setProgram(servicePath());
        window->useGateway(&gateway);
        QVERIFY(gateway.waitForAddress(5000));
        const QString base = QStringLiteral("http://") + gateway.address();
        for (const QString& where : {QStringLiteral("cmdline"), QStringLiteral("environ")}) {
            QFile file(QStringLiteral("/proc/%1/%2").arg(gateway.processId()).arg(where));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(!file.readAll().contains(gateway.secret()));
        }
        // The child holds what it was given and no more: its input leads nowhere, and it shares a pipe
        // with this program for its output and its complaints; no other pipe is open in it alone (the
        // secret's was read to its end and closed).
        const auto descriptors = [](const QString& process) {
            QMap<QString, QByteArray> targets;
            const QDir folder(QStringLiteral("/proc/%1/fd").arg(process));
            for (const QString& fd : folder.entryList(QDir::Files | QDir::System)) {
                char target[256] = {};
                if (::readlink(QFile::encodeName(folder.filePath(fd)).constData(), target, sizeof target - 1) > 0)
                    targets.insert(fd, target);
            }
            return targets;
        };
        const QMap<QString, QByteArray> child = descriptors(QString::number(gateway.processId()));
        const QList<QByteArray> inherited = descriptors(QStringLiteral("self")).values();
        QCOMPARE(child.value(QStringLiteral("0")), QByteArray("/dev/null"));
        QStringList pipes;
        for (auto it = child.cbegin(); it != child.cend(); ++it)
            if (it.value().startsWith("pipe:") && !inherited.contains(it.value()))
                pipes << it.key();
        QCOMPARE(pipes, QStringList());
        for (const QString& fd : {QStringLiteral("1"), QStringLiteral("2")})
            QVERIFY(child.value(fd).startsWith("pipe:") && inherited.contains(child.value(fd)));
        const QString tracking = base + QStringLiteral("/?com=shentong&nu=ZJX12345678&id=") +
                                 QLatin1String("4F1C0D7A2B9E83C5A6D0E1F27B3C9D48");
        for (const QString& url : QStringList{tracking, base + QStringLiteral("/tansoftjc/zjx/jc.txt"),
                                              base + QStringLiteral("/query_list.asp?name=a")}) {
            QCOMPARE(foreignGet(url).first, 403);
            QCOMPARE(zjx::HttpClient::instance().getBlocking(QUrl(url)).status, 200);
        }
        // Never to another address.
        QVERIFY(zjx::HttpClient::instance().request(QUrl(base + u'/')).hasRawHeader("X-Zjx-Secret"));
        QVERIFY(!zjx::HttpClient::instance()
                     .request(QUrl(QStringLiteral("http://127.0.0.2:%1/").arg(QUrl(base).port())))
                     .hasRawHeader("X-Zjx-Secret"));
        // The menu's pages are the service's own, and open without the secret.
        for (const auto& [entry, path] : {std::pair{1, "/feedback"}, {2, "/forum"}, {3, "/home"}, {4, ""}}) {
            window->menu().choose(entry);
            QCOMPARE(fixture.openedUrls().last(), base + QLatin1String(path));
            const auto [status, body] = foreignGet(base + QLatin1String(path));
            QCOMPARE(status, 200);
            QVERIFY(QString::fromUtf8(body).contains(QStringLiteral("踪迹匣")));
        }
        // Once the service has ended its port may be anyone's: the secret no longer goes there.
        gateway.stop();
        QVERIFY(!zjx::HttpClient::instance().request(QUrl(base + u'/')).hasRawHeader("X-Zjx-Secret"));
    }

    // The farewell opens a page and the program ends: the service stays until the browser has
    // fetched it, or for the time allowed.
    void endingWaitsForTheOpenedPage_data() {
        addColumns<int, int, int>("fetchAfterMs", "lowestMs", "highestMs");
        QTest::newRow("fetched") << 300 << 250 << 2500;
        QTest::newRow("never fetched") << -1 << 1400 << 3000;
    }
    void endingWaitsForTheOpenedPage() {
        QFETCH(int, fetchAfterMs);
        QFETCH(int, lowestMs);
        QFETCH(int, highestMs);
        QVERIFY2(QFile::exists(servicePath()), "zjx-service is built with the tests");
        GatewayChild gateway;
        gateway.setProgram(servicePath());
        QVERIFY(gateway.waitForAddress(5000));
        gateway.expectVisit(QStringLiteral("/forum"), 1500);
        const QByteArray address = gateway.address().toLatin1();
        const int port = QUrl(QStringLiteral("http://") + gateway.address()).port();
        std::atomic<int> status{0};
        std::thread browser([&] {
            if (fetchAfterMs < 0)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(fetchAfterMs));
            // The browser's request, on a plain socket (this thread has no event loop).
            const QByteArray request = "GET /forum HTTP/1.1\r\nHost: " + address + "\r\nConnection: close\r\n\r\n";
            const std::string answer = zjx::stress::exchange(port, request.toStdString(), 5);
            status = QByteArray::fromStdString(answer).mid(9, 3).toInt();
        });
        QElapsedTimer clock;
        clock.start();
        gateway.stop();
        const qint64 waited = clock.elapsed();
        browser.join();
        QVERIFY2(waited >= lowestMs && waited <= highestMs, qPrintable(QString::number(waited)));
        if (fetchAfterMs >= 0)
            QCOMPARE(status.load(), 200);
    }

    void childThatCannotStart_data() {
        const FailingChildRow rows[] = {
            {"missing", m_dir.filePath(QStringLiteral("no-such-service")), 5000, QStringLiteral("找不到")},
            {"exits at once", script(QStringLiteral("exits"), "exit 3"), 5000, QStringLiteral("退出码 3")},
            {"says why it ends",
             script(QStringLiteral("refuses"),
                    "echo 'zjx-service: zjx-service.conf can be read by others' >&2; exit 2"),
             5000, QStringLiteral("退出码 2): zjx-service.conf can be read by others")},
            {"crashes", script(QStringLiteral("crashes"), "kill -SEGV $$"), 5000, QStringLiteral("崩溃")},
            {"no start-up line", script(QStringLiteral("silent"), "echo hello\nexec sleep 30"), 300,
             QStringLiteral("未报告端口")},
        };
        addRows(rows);
    }
    void childThatCannotStart() {
        QFETCH(FailingChildRow, row);
        const auto& [name, program, wait, reason] = row;
        GatewayChild gateway;
        QSignalSpy failed(&gateway, &GatewayChild::failed);
        QElapsedTimer clock;
        clock.start();
        gateway.start(program);
        QVERIFY(!gateway.waitForAddress(wait));
        // An early end is noticed at once, not at the end of the wait.
        QVERIFY(clock.elapsed() < 2500);
        QCOMPARE(gateway.state(), GatewayChild::State::Failed);
        QVERIFY2(gateway.failure().contains(reason), qPrintable(gateway.failure()));
        QCOMPARE(failed.count(), 1);
        QVERIFY(gateway.address().isEmpty());
        if (gateway.processId() > 0)
            QVERIFY(goneWithin(gateway.processId(), 3000));
    }

    // The child is killed: from that moment nothing reaches its old port, which another user may
    // take at once; a new child (a new port, a new secret) answers the requests that waited.
    void killedChildIsReplaced() {
        if (!QFile::exists(servicePath()))
            QSKIP("zjx-service is not built");
        zjx::test::WindowFixture fixture;
        auto window = fixture.makeWindow();
        GatewayChild gateway;
        gateway.setRestartPauses({100, 200});
        gateway.setProgram(servicePath());
        window->useGateway(&gateway);
        QVERIFY(gateway.waitForAddress(5000));
        const QString old = gateway.address();
        const QByteArray oldSecret = gateway.secret();
        const QUrl versionFile(QStringLiteral("http://%1/tansoftjc/zjx/jc.txt").arg(old));
        QSignalSpy restarting(&gateway, &GatewayChild::restarting);
        QSignalSpy ready(&gateway, &GatewayChild::ready);
        // Before the event loop has heard of the end the port is still the program's; asked for at
        // once (one request as the watch asks, one as the window does, both for the old address),
        // the end is dealt with first, and only then is the port free for anyone.
        killAndWaitForTheEnd(gateway.processId());
        QTcpServer impostor;
        QVERIFY(!impostor.listen(QHostAddress::LocalHost, quint16(versionFile.port())));
        std::optional<zjx::HttpResult> watched;
        zjx::HttpClient::instance().getResponsive(versionFile, this, [&](const zjx::HttpResult& r) { watched = r; });
        QCOMPARE(restarting.count(), 1);
        QVERIFY(impostor.listen(QHostAddress::LocalHost, quint16(versionFile.port())));
        QVERIFY(!zjx::HttpClient::instance().request(versionFile).hasRawHeader("X-Zjx-Secret"));
        QVERIFY2(window->strips()
                     .text(StatusStrips::Hint)
                     .startsWith(QStringLiteral("本地查询服务已停止:zjx-service 崩溃了,正在重新启动")),
                 qPrintable(window->strips().text(StatusStrips::Hint)));
        const zjx::HttpResult asked = zjx::HttpClient::instance().getBlocking(versionFile);
        QCOMPARE(asked.body, QStringLiteral("V4.0"));
        QTRY_VERIFY(watched.has_value());
        QCOMPARE(watched->body, QStringLiteral("V4.0"));
        QCOMPARE(ready.count(), 1);
        QVERIFY(gateway.address() != old && gateway.secret() != oldSecret);
        QVERIFY(window->strips().text(StatusStrips::Hint).startsWith(QStringLiteral("本地查询服务已重新启动")));
        QVERIFY(!impostor.waitForNewConnection(100));
    }

    // A request on its way when the child ends is not left to the network layer, which would send
    // it again to the old port: it is cut off and asked of the new child.
    void requestOnItsWayGoesToTheNewChild() {
        QTcpServer silent, answering; // the old child answers only after its end; the new one at once
        QVERIFY(silent.listen(QHostAddress::LocalHost) && answering.listen(QHostAddress::LocalHost));
        int reachedOld = 0;
        QTcpSocket* held = nullptr;
        connect(&silent, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket* peer = silent.nextPendingConnection()) {
                held = peer;
                ++reachedOld;
            }
        });
        connect(&answering, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* peer = answering.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, peer, [peer] {
                peer->write("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\nnew");
                peer->disconnectFromHost();
            });
        });
        const QString portFile = m_dir.filePath(QStringLiteral("port"));
        const auto usePort = [&](quint16 port) {
            QFile file(portFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray::number(port));
        };
        usePort(silent.serverPort());
        GatewayChild gateway;
        gateway.setRestartPauses({50});
        gateway.setProgram(
            script(QStringLiteral("from-file"), "echo \"zjx-service listening on http://127.0.0.1:$(cat " +
                                                    QFile::encodeName(portFile) + ") (x)\"\nexec sleep 30"));
        QVERIFY(gateway.waitForAddress(5000));
        std::optional<zjx::HttpResult> answer;
        zjx::HttpClient::instance().getResponsive(QUrl(QStringLiteral("http://%1/").arg(gateway.address())), this,
                                                  [&](const zjx::HttpResult& r) { answer = r; });
        QTRY_COMPARE(reachedOld, 1);
        usePort(answering.serverPort());
        killAndWaitForTheEnd(gateway.processId());
        // Whoever has the old port now answers before the end is heard of: not taken.
        held->write("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nConnection: close\r\n\r\nold");
        QVERIFY(held->waitForBytesWritten(1000));
        QThread::msleep(200); // the network layer has the answer before the event loop runs again
        QTRY_VERIFY(answer.has_value());
        QCOMPARE(answer->body, QStringLiteral("new"));
        QCOMPARE(reachedOld, 1);
    }

    // A child that keeps ending is started again after growing pauses, then given up: the hint
    // line says so, and its old port gets nothing.
    void childThatKeepsEndingIsGivenUp() {
        QTcpServer impostor;
        QVERIFY(impostor.listen(QHostAddress::LocalHost));
        const QByteArray port = QByteArray::number(impostor.serverPort());
        zjx::test::WindowFixture fixture;
        auto window = fixture.makeWindow();
        GatewayChild gateway;
        gateway.setRestartPauses({20, 60});
        gateway.setProgram(script(QStringLiteral("ends"),
                                  "echo 'zjx-service listening on http://127.0.0.1:" + port + " (x)'\nsleep 0.2"));
        window->useGateway(&gateway);
        QSignalSpy restarting(&gateway, &GatewayChild::restarting);
        QSignalSpy failed(&gateway, &GatewayChild::failed);
        QVERIFY(gateway.waitForAddress(5000));
        QVERIFY(failed.wait(10000));
        QCOMPARE(restarting.count(), 2);
        QCOMPARE(restarting.at(1).at(1).toInt(), 2);
        QCOMPARE(restarting.at(1).at(2).toInt(), 60);
        const QString said = QStringLiteral("本地查询服务已停止:zjx-service 已退出 (退出码 0),重新启动 2 次均未成功");
        QVERIFY2(window->strips().text(StatusStrips::Hint).startsWith(said),
                 qPrintable(window->strips().text(StatusStrips::Hint)));
        const QUrl old(QStringLiteral("http://127.0.0.1:%1/").arg(QString::fromLatin1(port)));
        QCOMPARE(zjx::HttpClient::instance().getBlocking(old).failure, zjx::HttpResult::Failure::Refused);
        std::optional<zjx::HttpResult> watched;
        zjx::HttpClient::instance().getResponsive(old, this, [&](const zjx::HttpResult& r) { watched = r; });
        QTRY_VERIFY(watched.has_value());
        QCOMPARE(watched->failure, zjx::HttpResult::Failure::Refused);
        QVERIFY(!impostor.waitForNewConnection(100));
    }

    void childEndsWhenItsParentIsKilled() {
        const QString child = script(QStringLiteral("lingers"),
                                     "echo 'zjx-service listening on http://127.0.0.1:9 (test)'\nexec sleep 30");
        QProcess parent;
        parent.start(QCoreApplication::applicationDirPath() + QStringLiteral("/instancehelper"),
                     {QStringLiteral("gateway"), child});
        QVERIFY(parent.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(parent.canReadLine(), 5000);
        const QByteArray line = parent.readLine().trimmed();
        QVERIFY2(line.startsWith("ready "), line.constData());
        const qint64 pid = line.mid(6).toLongLong();
        QVERIFY(pid > 0 && !processGone(pid));
        ::kill(pid_t(parent.processId()), SIGKILL);
        QVERIFY(parent.waitForFinished());
        QVERIFY(goneWithin(pid, 2000));
    }

    // The hint line has room for a line; the whole reason, as plain text, rests on it.
    void windowShowsTheWholeReason() {
        zjx::test::WindowFixture fixture;
        auto window = fixture.makeWindow();
        const QByteArray longWords = QByteArray("<b>not bold</b> ") + QByteArray(400, 'x') + " END";
        GatewayChild gateway;
        gateway.start(script(QStringLiteral("refuses-long"),
                             "echo 'zjx-service: warning: unknown key [gateway] colour' >&2\necho 'zjx-service: " +
                                 longWords + "' >&2; exit 2"));
        window->useGateway(&gateway);
        QVERIFY(!gateway.waitForAddress(5000));
        const QString tip = window->strips().toolTip(StatusStrips::Hint);
        QVERIFY2(tip.contains(QStringLiteral("unknown key [gateway] colour")), qPrintable(tip));
        QVERIFY(tip.contains(QString::fromUtf8(longWords).toHtmlEscaped()));
        QVERIFY(!tip.contains(QStringLiteral("<b>")));
    }

    void windowSaysWhenTheServiceCannotStart() {
        zjx::test::WindowFixture fixture;
        auto window = fixture.makeWindow();
        GatewayChild gateway;
        gateway.start(m_dir.filePath(QStringLiteral("no-such-service")));
        window->useGateway(&gateway);
        gateway.waitForAddress(1000);
        QVERIFY2(window->strips().text(StatusStrips::Hint).startsWith(QStringLiteral("本地查询服务未能启动:找不到")),
                 qPrintable(window->strips().text(StatusStrips::Hint)));
        // The version check's own line does not hide it.
        window->checkVersion();
        QVERIFY(window->strips().text(StatusStrips::Hint).startsWith(QStringLiteral("本地查询服务未能启动:")));
        QVERIFY(queryButton(*window)->isEnabled());
        // Without the program's own service the check says nothing about updates: no box.
        QCOMPARE(zjx::test::ScriptedBoxes::shownTexts(), QStringList());
        QCOMPARE(window->strips().text(StatusStrips::DataSource), QStringLiteral("查询服务未运行"));
    }
};

QTEST_MAIN(TestGateway)
#include "tst_gatewaychild.moc"
