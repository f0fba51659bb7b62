// The window "查询服务设置" with the program's own service and a local kuaidi100 fake: 检查 asks
// through zjx-service --check without saving, 保存 writes a private file that keeps its `url`
// line and restarts the service, and the next query shows the provider's parcel and its source.
#include "fakes/providerfakes.h"
#include "gui/servicesettings.h"
#include "gui/statusstrips.h"
#include "platform/gatewaychild.h"
#include "support/files.h"
#include "support/scriptedseams.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include "gui/platform/messagebox.h"

#include <QAccessible>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <sys/stat.h>
#include <time.h>

using namespace zjx;
using namespace zjx::test;

namespace {

// A field by its configuration key.
template <typename T> T* field(QWidget* window, const QString& key) {
    return window->findChild<T*>(key);
}

} // namespace

class ServiceSettingsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void saveRestartsTheServiceAndTheNextQueryAsksTheProvider() {
        // The fake's histories are in Beijing time; the service child shows them in the user's zone.
        qputenv("TZ", "CST-8");
        tzset();
        fakes::FakeProvider fake(fakes::FakeKind::Kuaidi100);
        QVERIFY(fake.start());
        // A new user whose file already names the local fake.
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        const QString path = home.filePath(QStringLiteral("zjx/zjx-service.conf"));
        const QByteArray original = "# test double\n[kuaidi100]\nurl = " + fake.url().toUtf8() + "\n";
        QVERIFY(writePrivateFile(path, original).ok());

        test::WindowFixture fixture;
        qunsetenv("ZJX_TRACKING_HOST"); // the program's own service answers
        auto window = fixture.makeWindow();
        GatewayChild gateway;
        gateway.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/zjx-service"));
        window->useGateway(&gateway);
        QVERIFY(gateway.waitForAddress(10000));
        QCOMPARE(window->strips().text(StatusStrips::DataSource), QStringLiteral("演示数据"));

        window->menu().choose(6);
        ServiceSettingsWindow* settings = window->menu().serviceSettingsWindow();
        QVERIFY(settings && settings->isVisible());
        QCOMPARE(settings->accessibleName(), QStringLiteral("查询服务设置"));
        // Each field says in Chinese what it is for; its place in the file follows in brackets.
        for (const char* key : {"backend", "customer", "key", "business_id", "app_key", "request_type", "phone_tail",
                                "cache_minutes"}) {
            const QString said =
                QAccessible::queryAccessibleInterface(field<QWidget>(settings, QString::fromLatin1(key)))
                    ->text(QAccessible::Description);
            QVERIFY2(said.section(u'(', 0, 0).contains(QRegularExpression(QStringLiteral("\\p{Han}"))) &&
                         said.endsWith(QStringLiteral("] %1)").arg(QLatin1String(key))),
                     qPrintable(said));
        }
        auto* backend = field<QComboBox>(settings, QStringLiteral("backend"));
        QVERIFY(backend);
        backend->setCurrentIndex(backend->findText(QStringLiteral("快递100")));
        auto* key = field<QLineEdit>(settings, QStringLiteral("key"));
        QVERIFY(key && key->echoMode() == QLineEdit::Password);
        field<QLineEdit>(settings, QStringLiteral("customer"))->setText(QStringLiteral("FAKECUSTOMER01"));
        key->setText(QStringLiteral("fake-key-0123456789"));
        field<QLineEdit>(settings, QStringLiteral("check_number"))->setText(QStringLiteral("SIGNED1234"));
        auto* company = field<QComboBox>(settings, QStringLiteral("check_company"));
        company->setCurrentIndex(company->findText(QStringLiteral("申通快递")));

        // A wrong key: the verdict in Chinese, the provider's own words only behind 详细信息.
        key->setText(QStringLiteral("wrong-key"));
        QTest::mouseClick(named<QPushButton>(settings, QStringLiteral("检查")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!settings->checkRunning(), 20000);
        QCOMPARE(settings->verdictText(), QStringLiteral("密钥错误"));
        QVERIFY(!settings->verdictDetail().isEmpty());
        QVERIFY(settings->findChild<QWidget*>(QStringLiteral("detail_toggle"))->isVisible());
        QVERIFY(!settings->findChild<QWidget*>(QStringLiteral("detail"))->isVisible());
        key->setText(QStringLiteral("fake-key-0123456789"));

        // 检查 asks the provider without saving anything.
        QTest::mouseClick(named<QPushButton>(settings, QStringLiteral("检查")), Qt::LeftButton);
        QVERIFY(settings->checkRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!settings->checkRunning(), 20000);
        QVERIFY2(settings->verdictText().startsWith(QStringLiteral("找到 4 条物流信息,最新:2026-12-02 11:47:00")),
                 qPrintable(settings->verdictText()));
        QCOMPARE(fileBytes(path, "(unreadable)"), original);
        QCOMPARE(fake.requests(), 2);

        // 保存: a private file with its url line, and a new service.
        const qint64 oldPid = gateway.processId();
        QTest::mouseClick(named<QPushButton>(settings, QStringLiteral("保存")), Qt::LeftButton);
        const QByteArray text = fileBytes(path, "(unreadable)");
        QVERIFY2(text.startsWith(original), text.constData());
        QVERIFY(text.contains("\nbackend = kuaidi100\n") && text.contains("\nkey = fake-key-0123456789\n"));
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
        QCOMPARE(window->strips().text(StatusStrips::DataSource), QStringLiteral("快递100"));
        QTRY_VERIFY_WITH_TIMEOUT(gateway.state() == GatewayChild::State::Ready && gateway.processId() != oldPid, 10000);

        // The next query goes through the restarted service to the provider.
        const auto query = [&](const QString& number) {
            window->addPanel().openEmpty();
            typeIntoAddPanel(*window, number, QStringLiteral("申通快递"), QStringLiteral("礼物"));
            window->startQuery();
        };
        query(QStringLiteral("SIGNED5678"));
        QTRY_COMPARE(progressRows(*window)->topLevelItemCount(), 4);
        QCOMPARE(progressRows(*window)->topLevelItem(0)->text(ProgressList::ProgressColumn),
                 QStringLiteral("【上海市】快件已签收，签收人：本人"));
        QCOMPARE(window->strips().text(StatusStrips::DataSource), QStringLiteral("快递100"));
        QCOMPARE(fake.requests(), 3);

        // A wrong key: the hint line says what to do instead of an HTTP status.
        key->setText(QStringLiteral("wrong-key"));
        QVERIFY(settings->save());
        QTRY_VERIFY_WITH_TIMEOUT(gateway.state() == GatewayChild::State::Ready, 10000);
        query(QStringLiteral("SIGNED9999"));
        QTRY_COMPARE(window->strips().text(StatusStrips::Hint), QStringLiteral("查询服务:密钥错误,请在查询服务设置中检查"));
        // The key put right and saved: the hint it answers goes at once.
        key->setText(QStringLiteral("fake-key-0123456789"));
        QVERIFY(settings->save());
        QCOMPARE(window->strips().text(StatusStrips::Hint), QStringLiteral("查询服务设置已保存"));
        qunsetenv("XDG_CONFIG_HOME");
    }

    // A file others may read stops the service: the window says what to do, the version check
    // keeps quiet, and 修复 in the settings window brings the service up.
    void aFileOthersCanReadIsExplainedAndRepaired() {
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        const QString path = home.filePath(QStringLiteral("zjx/zjx-service.conf"));
        QVERIFY(writePrivateFile(path, "[gateway]\nbackend = kuaidi100\n[kuaidi100]\ncustomer = C\nkey = K\n").ok());
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
        test::WindowFixture fixture;
        qunsetenv("ZJX_TRACKING_HOST");
        auto window = fixture.makeWindow();
        GatewayChild gateway;
        gateway.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/zjx-service"));
        window->useGateway(&gateway);
        QVERIFY(!gateway.waitForAddress(10000));
        const QString hint = QStringLiteral("查询服务设置文件权限过宽,请打开查询服务设置并保存");
        QCOMPARE(window->strips().text(StatusStrips::Hint), hint);
        QCOMPARE(window->strips().text(StatusStrips::DataSource), QStringLiteral("查询服务未运行"));
        QAccessibleInterface* caption = QAccessible::queryAccessibleInterface(test::named<QLabel>(window.get(), QStringLiteral("数据来源")));
        QCOMPARE(caption->text(QAccessible::Name), QStringLiteral("查询服务未运行"));
        QCOMPARE(caption->text(QAccessible::Description), QStringLiteral("数据来源"));
        window->checkVersion();
        QCOMPARE(window->strips().text(StatusStrips::Hint), hint);
        QVERIFY(test::ScriptedBoxes::shownTexts().isEmpty());

        window->menu().openServiceSettings();
        named<QPushButton>(window->menu().serviceSettingsWindow(), QStringLiteral("修复"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(gateway.state() == GatewayChild::State::Ready, 10000);
        QCOMPARE(window->strips().text(StatusStrips::DataSource), QStringLiteral("快递100"));
        QCOMPARE(window->strips().text(StatusStrips::Hint), QStringLiteral("本地查询服务已重新启动"));
        qunsetenv("XDG_CONFIG_HOME");
    }

    void invalidFieldsAreNamedAndNothingIsSaved() {
        QTemporaryDir home;
        const QString path = home.filePath(QStringLiteral("zjx-service.conf"));
        ServiceSettingsWindow settings(path, QStringLiteral("/nonexistent/zjx-service"), QString());
        auto* backend = field<QComboBox>(&settings, QStringLiteral("backend"));
        backend->setCurrentIndex(backend->findText(QStringLiteral("快递100")));
        field<QLineEdit>(&settings, QStringLiteral("phone_tail"))->setText(QStringLiteral("12"));
        QVERIFY(!settings.save());
        QVERIFY(!settings.problemAt(QStringLiteral("customer")).isEmpty());
        QVERIFY(!settings.problemAt(QStringLiteral("key")).isEmpty());
        QVERIFY(!settings.problemAt(QStringLiteral("phone_tail")).isEmpty());
        QVERIFY(!QFile::exists(path));
    }

    void namesForScreenReaders() {
        QTemporaryDir home;
        ServiceSettingsWindow settings(home.filePath(QStringLiteral("c.conf")), QString(), QString());
        const QList<std::pair<const char*, const char*>> names = {
            {"backend", "查询服务"},      {"customer", "授权码 customer"},
            {"key", "密钥 key"},          {"business_id", "用户 ID"},
            {"app_key", "API key"},       {"request_type", "请求指令"},
            {"phone_tail", "手机尾号"},   {"cache_minutes", "缓存时间"},
            {"check_number", "检查单号"}, {"check_company", "检查单号的快递公司"}};
        for (const auto& [key, name] : names)
            QCOMPARE(field<QWidget>(&settings, QString::fromLatin1(key))->accessibleName(), QString::fromUtf8(name));
        // The check's result is read as what it says, its caption as the description.
        settings.check(); // no number: the result asks for one
        QAccessibleInterface* verdict = QAccessible::queryAccessibleInterface(settings.findChild<QLabel*>("verdict"));
        QCOMPARE(verdict->text(QAccessible::Name), QStringLiteral("请输入要检查的快递单号"));
        QCOMPARE(verdict->text(QAccessible::Description), QStringLiteral("检查结果"));
    }

    void theWindowStaysStillAndAsksBeforeLosingChanges() {
        QTemporaryDir home;
        const QString path = home.filePath(QStringLiteral("c.conf"));
        ServiceSettingsWindow settings(path, QStringLiteral("/nonexistent/zjx-service"), QString());
        settings.show();
        QVERIFY(QTest::qWaitForWindowExposed(&settings));
        QPushButton* save = named<QPushButton>(&settings, QStringLiteral("保存"));
        const QRect saveAt = save->geometry();
        const QSize size = settings.size();
        auto* backend = field<QComboBox>(&settings, QStringLiteral("backend"));

        // Enter in the number box runs 检查; another provider takes the old result away.
        QTest::keyClick(field<QLineEdit>(&settings, QStringLiteral("check_number")), Qt::Key_Return);
        QCOMPARE(settings.verdictText(), QStringLiteral("请输入要检查的快递单号"));
        backend->setCurrentIndex(backend->findData(QStringLiteral("kdniao")));
        QCOMPARE(settings.verdictText(), QString());
        // Enter in another field runs nothing (a check would name the empty fields).
        QTest::keyClick(field<QLineEdit>(&settings, QStringLiteral("business_id")), Qt::Key_Return);
        QCOMPARE(settings.problemAt(QStringLiteral("business_id")), QString());
        // Every field's message shown (kdniao has the most rows): nothing moves.
        backend->setCurrentIndex(backend->findData(QStringLiteral("kdniao")));
        field<QLineEdit>(&settings, QStringLiteral("phone_tail"))->setText(QStringLiteral("12"));
        QVERIFY(!settings.save());
        QTest::qWait(50);
        QCOMPARE(settings.size(), size);
        QCOMPARE(save->geometry(), saveAt);
        QVERIFY(save->geometry().bottom() < settings.height());

        // The check's company follows the number.
        field<QLineEdit>(&settings, QStringLiteral("check_number"))->setText(QStringLiteral("SF1234567890123"));
        QCOMPARE(field<QComboBox>(&settings, QStringLiteral("check_company"))->currentText(),
                 QStringLiteral("顺丰快递"));

        // Unsaved changes: Escape asks; Cancel keeps the window, No closes it without saving.
        QStringList asked;
        MessageBox::Answer answer = MessageBox::Answer::Cancel;
        MessageBox::setHandler([&](const MessageBox::Request& r) {
            asked << r.text;
            return answer;
        });
        QTest::keyClick(&settings, Qt::Key_Escape);
        QCOMPARE(asked, QStringList{QStringLiteral("设置已更改,尚未保存。要保存吗?")});
        QVERIFY(settings.isVisible());
        answer = MessageBox::Answer::No;
        named<QPushButton>(&settings, QStringLiteral("关闭"))->click();
        QCOMPARE(asked.size(), 2);
        QVERIFY(!settings.isVisible());
        QVERIFY(!QFile::exists(path));
        MessageBox::setHandler({});
    }

    void aFileOthersCanReadIsRepaired() {
        QTemporaryDir home;
        const QString path = home.filePath(QStringLiteral("c.conf"));
        const QByteArray text = "[gateway]\nbackend = kuaidi100 ; mine\n";
        QVERIFY(writePrivateFile(path, text).ok());
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0644) == 0);
        ServiceSettingsWindow settings(path, QString(), QString());
        QPushButton* repair = named<QPushButton>(&settings, QStringLiteral("修复"));
        QVERIFY(repair && !repair->isHidden());
        int restarts = 0;
        connect(&settings, &ServiceSettingsWindow::saved, this, [&] { ++restarts; });
        repair->click();
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(path).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
        QCOMPARE(fileBytes(path, "(unreadable)"), text);
        QCOMPARE(restarts, 1);
        QVERIFY(repair->isHidden());
    }

    void anExternalServiceIsShownReadOnly() {
        QTemporaryDir home;
        ServiceSettingsWindow settings(home.filePath(QStringLiteral("c.conf")), QString(),
                                       QStringLiteral("192.0.2.7:8080"));
        QVERIFY(!named<QPushButton>(&settings, QStringLiteral("保存"))->isEnabled());
        QVERIFY(!field<QComboBox>(&settings, QStringLiteral("backend"))->isEnabled());
        QVERIFY(settings.findChild<QLabel*>(QStringLiteral("status"))->text().contains(u"192.0.2.7:8080"));
        QVERIFY(!settings.save());
    }
};

QTEST_MAIN(ServiceSettingsTest)
#include "tst_servicesettings.moc"
