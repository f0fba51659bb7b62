// The window "查询服务设置" with the program's own service and a local kuaidi100 fake: 检查 asks
// through zjx-service --check without saving, 保存 writes a private file that keeps its `url`
// line and restarts the service, and the next query shows the provider's parcel and its source.
#include "fakes/providerfakes.h"
#include "gui/servicesettings.h"
#include "platform/gatewaychild.h"
#include "gui/statusstrips.h"
#include "support/windowcontrols.h"
#include "support/windowfixture.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <sys/stat.h>
#include <time.h>

using namespace zjx;
using namespace zjx::test;

namespace {

template <typename T> T* field(QWidget* window, const QString& accessibleName) {
    for (T* w : window->findChildren<T*>())
        if (w->accessibleName() == accessibleName)
            return w;
    return nullptr;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

QPushButton* buttonNamed(QWidget* window, const QString& text) {
    for (QPushButton* b : window->findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
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

        // 检查 asks the provider without saving anything.
        QTest::mouseClick(buttonNamed(settings, QStringLiteral("检查")), Qt::LeftButton);
        QVERIFY(settings->checkRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!settings->checkRunning(), 20000);
        QVERIFY2(settings->verdictText().startsWith(QStringLiteral("找到 4 条物流信息,最新:2026-12-02 11:47:00")),
                 qPrintable(settings->verdictText()));
        QCOMPARE(fileBytes(path), original);
        QCOMPARE(fake.requests(), 1);

        // 保存: a private file with its url line, and a new service.
        const qint64 oldPid = gateway.processId();
        QTest::mouseClick(buttonNamed(settings, QStringLiteral("保存")), Qt::LeftButton);
        const QByteArray text = fileBytes(path);
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
            numberBox(*window)->setEditText(number);
            companyBox(*window)->setCurrentIndex(companyBox(*window)->findText(QStringLiteral("申通快递")));
            noteBox(*window)->setText(QStringLiteral("礼物"));
            window->startQuery();
        };
        query(QStringLiteral("SIGNED5678"));
        QTRY_COMPARE(progressRows(*window)->topLevelItemCount(), 4);
        QCOMPARE(progressRows(*window)->topLevelItem(0)->text(ProgressList::ProgressColumn),
                 QStringLiteral("【上海市】快件已签收，签收人：本人"));
        QCOMPARE(window->strips().text(StatusStrips::DataSource), QStringLiteral("快递100"));
        QCOMPARE(fake.requests(), 2);

        // A wrong key: the hint line says what to do instead of an HTTP status.
        key->setText(QStringLiteral("wrong-key"));
        QVERIFY(settings->save());
        QTRY_VERIFY_WITH_TIMEOUT(gateway.state() == GatewayChild::State::Ready, 10000);
        query(QStringLiteral("SIGNED9999"));
        QTRY_COMPARE(window->strips().text(StatusStrips::Hint), QStringLiteral("查询服务:密钥错误,请在查询服务设置中检查"));
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

    void anExternalServiceIsShownReadOnly() {
        QTemporaryDir home;
        ServiceSettingsWindow settings(home.filePath(QStringLiteral("c.conf")), QString(),
                                       QStringLiteral("192.0.2.7:8080"));
        QVERIFY(!buttonNamed(&settings, QStringLiteral("保存"))->isEnabled());
        QVERIFY(!field<QComboBox>(&settings, QStringLiteral("backend"))->isEnabled());
        QVERIFY(settings.findChild<QLabel*>(QStringLiteral("status"))->text().contains(u"192.0.2.7:8080"));
        QVERIFY(!settings.save());
    }
};

QTEST_MAIN(ServiceSettingsTest)
#include "tst_servicesettings.moc"
