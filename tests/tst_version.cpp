// The start-up version check: the version file matches, cannot be read, or names another version.

#include "core/versioncheck.h"
#include "gui/platform/messagebox.h"
#include "gui/statusstrips.h"
#include "platform/environment.h"
#include "support/datatable.h"
#include "support/scriptedseams.h"
#include "support/testserver.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace zjx;
using namespace zjx::test;

class TestVersion : public QObject {
    Q_OBJECT
    std::unique_ptr<TestServer> m_server; // one for all: each one started costs a second at its end

private Q_SLOTS:
    void initTestCase() { m_server = std::make_unique<TestServer>(); }
    void init() { m_server->clearRequests(); }

    void outcomes_data() {
        // notice empty: no box
        addColumns<bool, int, QByteArray, QString, bool, bool>("served", "status", "body", "notice", "warning", "ends");
        const QString failed = QStringLiteral("检测更新失败!请您稍后再试,暂时使用原版");
        QTest::newRow("same version") << true << 200 << QByteArray("V4.0") << QString() << false << false;
        QTest::newRow("empty file") << true << 200 << QByteArray() << failed << true << false;
        QTest::newRow("unreachable") << false << 0 << QByteArray() << failed << true << false;
        QTest::newRow("newer") << true << 200 << QByteArray("V4.1")
                               << QStringLiteral("发现最新版本![V4.1]\r\n \r\n确定后自动打开官方论坛!") << false
                               << true;
        QTest::newRow("line break") << true << 200 << QByteArray("V4.0\r\n")
                                    << QStringLiteral("发现最新版本![V4.0\r\n]\r\n \r\n确定后自动打开官方论坛!")
                                    << false << true;
        QTest::newRow("lower case") << true << 200 << QByteArray("v4.0")
                                    << QStringLiteral("发现最新版本![v4.0]\r\n \r\n确定后自动打开官方论坛!") << false
                                    << true;
        QTest::newRow("error page") << true << 404 << QByteArray("Not Found")
                                    << QStringLiteral("发现最新版本![Not Found]\r\n \r\n确定后自动打开官方论坛!")
                                    << false << true;
    }
    void outcomes() {
        QFETCH(bool, served);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, notice);
        QFETCH(bool, warning);
        QFETCH(bool, ends);
        TestServer& server = *m_server;
        server.setResponse("/tansoftjc/zjx/jc.txt", CannedResponse{status, body, "text/plain"});
        WindowFixture fx(served ? server.hostPort() : QStringLiteral("127.0.0.1:%1").arg(TestServer::unusedPort()));
        int endings = 0;
        ProgramEnd::setHandler([&endings] { ++endings; });

        auto w = fx.makeWindow(false);
        QVERIFY(w->versionTimer().isActive());
        QCOMPARE(w->versionTimer().interval(), 1000);
        QTRY_COMPARE(w->strips().text(StatusStrips::Hint), QStringLiteral("程序已加载完毕..."));
        QVERIFY(!w->versionTimer().isActive());

        if (served) {
            QCOMPARE(server.requests().size(), 1);
            QCOMPARE(server.requests().first().path, std::string("/tansoftjc/zjx/jc.txt"));
        }
        QCOMPARE(test::ScriptedBoxes::shownTexts(), notice.isEmpty() ? QStringList() : QStringList{notice});
        if (!notice.isEmpty())
            QCOMPARE(test::ScriptedBoxes::shown().first().icon,
                     warning ? MessageBox::Icon::Warning : MessageBox::Icon::Information);
        QCOMPARE(queryButton(*w)->isEnabled(), !ends);
        QCOMPARE(parcelSelector(*w)->isEnabled(), !ends);
        QCOMPARE(endings, ends ? 1 : 0);
        QCOMPARE(fx.openedUrls(), ends ? QStringList{server.baseUrl() + QStringLiteral("/forum")} : QStringList());
    }
};

QTEST_MAIN(TestVersion)
#include "tst_version.moc"
