// One program per user: a second start asks the first to show its window, and a lock left by a
// killed program is taken over.
#include "platform/singleinstance.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using zjx::SingleInstance;

class TestSingleInstance : public QObject {
    Q_OBJECT
    QTemporaryDir m_runtime;
    const QString m_key = QStringLiteral("zjx-test");

    bool startFirst(QProcess& first) {
        first.start(QCoreApplication::applicationDirPath() + QStringLiteral("/instancehelper"),
                    {QStringLiteral("claim"), m_key});
        return first.waitForStarted() && first.waitForReadyRead(5000) && first.readLine().trimmed() == "first";
    }

private Q_SLOTS:
    void initTestCase() {
        // A private runtime folder: the tests never meet a real program of the user.
        qputenv("XDG_RUNTIME_DIR", m_runtime.path().toLocal8Bit());
    }

    void secondStartRaisesTheFirst() {
        QProcess first;
        QVERIFY(startFirst(first));
        SingleInstance second(m_key);
        QVERIFY(!second.claim());
        QVERIFY(second.raiseOther());
        QVERIFY(first.waitForReadyRead(5000));
        QCOMPARE(first.readLine().trimmed(), QByteArray("raised"));
        first.kill();
        first.waitForFinished();
    }

    void lockOfAKilledProgramIsTakenOver() {
        QProcess first;
        QVERIFY(startFirst(first));
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished());
        SingleInstance next(m_key);
        QVERIFY(QFile::exists(next.lockPath()));
        QVERIFY(next.claim());
        // The new owner answers on the socket the killed one left behind.
        QSignalSpy raised(&next, &SingleInstance::raiseRequested);
        SingleInstance later(m_key);
        QVERIFY(!later.claim());
        QVERIFY(later.raiseOther());
        QVERIFY(raised.wait(5000));
    }

    void oneProgramAloneHasNoOneToRaise() {
        SingleInstance only(m_key);
        QVERIFY(only.claim());
        SingleInstance other(QStringLiteral("zjx-test-other"));
        QVERIFY(!other.raiseOther(300));
    }
};

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
