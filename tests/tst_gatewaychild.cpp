// The program's own service child: start and port hand-over, a child that cannot start, and the
// child ending with its parent, also when the parent is killed.
#include "platform/gatewaychild.h"
#include "platform/httpclient.h"
#include "support/scriptedseams.h"
#include "support/windowfixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using zjx::GatewayChild;

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
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("address");
        QTest::newRow("service") << QByteArray("zjx-service listening on http://127.0.0.1:41234 (demo data)\n")
                                 << QStringLiteral("127.0.0.1:41234");
        QTest::newRow("crlf") << QByteArray("zjx-service listening on http://127.0.0.1:80 (x)\r\n")
                              << QStringLiteral("127.0.0.1:80");
        QTest::newRow("ipv6") << QByteArray("zjx-service listening on http://[::1]:5000 (x)")
                              << QStringLiteral("[::1]:5000");
        QTest::newRow("port 0") << QByteArray("zjx-service listening on http://127.0.0.1:0 (x)") << QString();
        QTest::newRow("port too big") << QByteArray("zjx-service listening on http://127.0.0.1:70000 (x)") << QString();
        QTest::newRow("port not a number")
            << QByteArray("zjx-service listening on http://127.0.0.1:5x (x)") << QString();
        QTest::newRow("other program") << QByteArray("listening on http://127.0.0.1:5000 (x)") << QString();
        QTest::newRow("request log") << QByteArray("12:00:01 GET /?com=x 200 12") << QString();
    }
    void startupLine() {
        QFETCH(QByteArray, line);
        QFETCH(QString, address);
        QCOMPARE(GatewayChild::addressFromLine(line), address);
    }

    void realServiceAnswersOnItsPort() {
        if (!QFile::exists(servicePath()))
            QSKIP("zjx-service is not built");
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

    void childThatCannotStart_data() {
        QTest::addColumn<QString>("program");
        QTest::addColumn<int>("wait");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << m_dir.filePath(QStringLiteral("no-such-service")) << 5000
                                 << QStringLiteral("找不到");
        QTest::newRow("exits at once") << script(QStringLiteral("exits"), "exit 3") << 5000
                                       << QStringLiteral("退出码 3");
        QTest::newRow("says why it ends")
            << script(QStringLiteral("refuses"),
                      "echo 'zjx-service: zjx-service.conf can be read by others' >&2; exit 2")
            << 5000 << QStringLiteral("退出码 2): zjx-service.conf can be read by others");
        QTest::newRow("crashes") << script(QStringLiteral("crashes"), "kill -SEGV $$") << 5000
                                 << QStringLiteral("崩溃");
        QTest::newRow("no start-up line")
            << script(QStringLiteral("silent"), "echo hello\nexec sleep 30") << 300 << QStringLiteral("未报告端口");
    }
    void childThatCannotStart() {
        QFETCH(QString, program);
        QFETCH(int, wait);
        QFETCH(QString, reason);
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

    void windowSaysWhenTheServiceCannotStart() {
        zjx::test::WindowFixture fixture;
        auto window = fixture.makeWindow();
        GatewayChild gateway;
        gateway.start(m_dir.filePath(QStringLiteral("no-such-service")));
        window->useGateway(&gateway);
        gateway.waitForAddress(1000);
        QVERIFY2(window->Label11[2]->text().startsWith(QStringLiteral("本地查询服务未能启动:找不到")),
                 qPrintable(window->Label11[2]->text()));
        // The version check's own line does not hide it.
        window->Timer3_Timer();
        QVERIFY(window->Label11[2]->text().startsWith(QStringLiteral("本地查询服务未能启动:")));
        QVERIFY(window->Command1->isEnabled());
        // With no service the version file cannot be fetched: said in its usual box.
        QCOMPARE(zjx::test::ScriptedBoxes::shownTexts(),
                 QStringList{QStringLiteral("检测更新失败!请您稍后再试,暂时使用原版")});
    }
};

QTEST_MAIN(TestGateway)
#include "tst_gatewaychild.moc"
