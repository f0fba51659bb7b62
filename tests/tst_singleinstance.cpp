// One program per book: a second start on the book asks the first to show its window, whatever
// its runtime folder; a lock left by a killed program is taken over, one planted elsewhere means
// nothing. And a program asked to end by a signal leaves through its event loop.
#include "platform/singleinstance.h"
#include "support/datatable.h"
#include "support/fifo.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using zjx::SingleInstance;

class TestSingleInstance : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;
    const QString m_key = QStringLiteral("zjx-test");

    QString folder(const QString& name, QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner |
                                                                   QFile::ExeOwner) {
        const QString path = m_home.filePath(name);
        QDir().mkpath(path);
        QFile::setPermissions(path, mode);
        return path;
    }
    QString book() { return folder(QStringLiteral("book")) + QStringLiteral("/wlnum.ini"); }

    // The first program, started with a runtime folder of its own.
    bool startFirst(QProcess& first, const QString& bookPath) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder(QStringLiteral("runtime-first")));
        first.setProcessEnvironment(environment);
        first.start(QCoreApplication::applicationDirPath() + QStringLiteral("/instancehelper"),
                    {QStringLiteral("claim"), m_key, bookPath});
        return first.waitForStarted() && first.waitForReadyRead(5000) && first.readLine().trimmed() == "first";
    }

private Q_SLOTS:
    void initTestCase() {
        qputenv("XDG_RUNTIME_DIR", folder(QStringLiteral("runtime")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", folder(QStringLiteral("data")).toLocal8Bit());
    }

    // A later start tells the first what it was started for; a line that is no command is not sent.
    void secondStartTellsTheFirst_data() {
        zjx::test::addColumns<QString, QByteArray>("command", "told");
        QTest::newRow("raise") << QStringLiteral("raise") << QByteArray("told raise");
        QTest::newRow("overview") << QStringLiteral("overview") << QByteArray("told overview");
        QTest::newRow("with an argument") << QStringLiteral("background 2") << QByteArray("told background 2");
        QTest::newRow("no command") << QStringLiteral("raise\noverview") << QByteArray();
    }
    void secondStartTellsTheFirst() {
        QFETCH(QString, command);
        QFETCH(QByteArray, told);
        QProcess first;
        QVERIFY(startFirst(first, book()));
        SingleInstance second(m_key, book());
        QVERIFY(!second.claim());
        QCOMPARE(second.tellOther(command, 500), !told.isEmpty());
        if (!told.isEmpty()) {
            QVERIFY(first.waitForReadyRead(5000));
            QCOMPARE(first.readLine().trimmed(), told);
        }
        // A program on another book runs beside it.
        SingleInstance other(m_key, folder(QStringLiteral("other")) + QStringLiteral("/wlnum.ini"));
        QVERIFY(other.claim());
        first.kill();
        first.waitForFinished();
        QCOMPARE(first.readAll(), QByteArray());
    }

    void lockOfAKilledProgramIsTakenOver() {
        QProcess first;
        QVERIFY(startFirst(first, book()));
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished());
        SingleInstance next(m_key, book());
        QVERIFY(QFile::exists(next.lockPath()));
        QVERIFY(next.claim());
        // The new owner answers on the socket the killed one left behind.
        QSignalSpy raised(&next, &SingleInstance::commandReceived);
        SingleInstance later(m_key, book());
        QVERIFY(!later.claim());
        QVERIFY(later.tellOther(QStringLiteral("raise")));
        QVERIFY(raised.wait(5000));
    }

    // The lock lives beside the book when only its owner may write there, else in the user's own
    // folder; a live lock where the runtime folder is (another user's, in /tmp) changes nothing.
    void lockBelongsToTheBook_data() {
        zjx::test::addBoolRows("othersWrite", "private folder", "folder others may write");
    }
    void lockBelongsToTheBook() {
        QFETCH(bool, othersWrite);
        const QString shared = folder(QStringLiteral("shared"), othersWrite ? QFile::Permissions(0x7777)
                                                                             : QFile::Permissions(0x7700));
        const QString bookPath = shared + QStringLiteral("/wlnum.ini");
        QLockFile planted(qEnvironmentVariable("XDG_RUNTIME_DIR") + u'/' + m_key + u'-' +
                          QString::number(::getuid()) + QStringLiteral(".lock"));
        QVERIFY(planted.tryLock(0));
        SingleInstance first(m_key, bookPath);
        QVERIFY(first.claim());
        QCOMPARE(first.lockPath().startsWith(SingleInstance::privateFolder()), othersWrite);
        QCOMPARE(first.lockPath().startsWith(shared), !othersWrite);
        QCOMPARE(QFile::permissions(first.lockPath()) & 0x0077, QFile::Permissions()); // names this process and host
        QVERIFY(!SingleInstance(m_key, bookPath).claim());
    }

    // A book path too long for a socket beside its lock, no runtime folder: the socket goes to a
    // folder of the user's alone in the temporary folder, and never to one someone else made or
    // may write (planted under the name the user's would have): no later start is told anything there.
    void socketNeverInAFolderOthersMayWrite_data() {
        zjx::test::addColumns<bool, int, bool>("othersOwn", "mode", "used");
        QTest::newRow("made by the program") << false << -1 << true;
        QTest::newRow("the user's, private") << false << 0700 << true;
        QTest::newRow("the user's, others may write") << false << 0777 << false;
        QTest::newRow("the user's, the group may write") << false << 0770 << false;
        QTest::newRow("another user's") << true << 0700 << false;
        QTest::newRow("another user's, open to all") << true << 0777 << false;
    }
    void socketNeverInAFolderOthersMayWrite() {
        QFETCH(bool, othersOwn);
        QFETCH(int, mode);
        QFETCH(bool, used);
        if (::geteuid() != 0 && othersOwn)
            QSKIP("only root can give a folder to another user");
        QTemporaryDir temporary;
        const QByteArray savedTemp = qgetenv("TMPDIR"), savedRuntime = qgetenv("XDG_RUNTIME_DIR"),
                         savedData = qgetenv("XDG_DATA_HOME");
        qputenv("TMPDIR", temporary.path().toLocal8Bit());
        qunsetenv("XDG_RUNTIME_DIR");
        const QString deep = folder(QStringLiteral("deep/") + QString(60, u'd') + u'/' + QString(60, u'e'));
        qputenv("XDG_DATA_HOME", deep.toLocal8Bit());
        const QString planted = temporary.filePath(QStringLiteral("zjx-") + QString::number(::geteuid()));
        if (mode >= 0) {
            QVERIFY(QDir().mkdir(planted));
            QVERIFY(::chmod(QFile::encodeName(planted).constData(), mode_t(mode)) == 0);
            if (othersOwn)
                QVERIFY(::chown(QFile::encodeName(planted).constData(), 65534, 65534) == 0);
        }
        const QString bookPath = deep + QStringLiteral("/wlnum.ini");
        SingleInstance first(m_key, bookPath);
        SingleInstance second(m_key, bookPath);
        QCOMPARE(first.socketPath().startsWith(planted + u'/'), used);
        QVERIFY(first.claim());
        QVERIFY(!second.claim());
        QSignalSpy told(&first, &SingleInstance::commandReceived);
        QCOMPARE(second.tellOther(QStringLiteral("raise"), 300), used);
        QCOMPARE(told.wait(used ? 5000 : 300), used);
        if (mode >= 0 && !used) // nothing of the program's went into the planted folder
            QCOMPARE(QDir(planted).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
        qputenv("TMPDIR", savedTemp);
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
        qputenv("XDG_DATA_HOME", savedData);
        if (othersOwn)
            ::chown(QFile::encodeName(planted).constData(), ::geteuid(), ::getegid());
    }

    // Qt reads a lock file it finds to learn whose it is: a FIFO there must not hang the start.
    void fifoInPlaceOfTheLockIsNoGuard() {
        const QString bookPath = folder(QStringLiteral("fifo")) + QStringLiteral("/wlnum.ini");
        zjx::test::FifoInPlace fifo(bookPath + QStringLiteral(".lock"));
        QVERIFY(fifo.made());
        QElapsedTimer started;
        started.start();
        QVERIFY(SingleInstance(m_key, bookPath).claim());
        QVERIFY(started.elapsed() < 2000);
        QVERIFY(fifo.stillThere());
    }

    void endSignalsLeaveThroughTheEventLoop_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void endSignalsLeaveThroughTheEventLoop() {
        QFETCH(int, signalNumber);
        QProcess program;
        program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/instancehelper"), {QStringLiteral("end")});
        QVERIFY(program.waitForStarted() && program.waitForReadyRead(5000));
        QCOMPARE(program.readLine().trimmed(), QByteArray("ready"));
        ::kill(pid_t(program.processId()), signalNumber);
        QVERIFY(program.waitForFinished(5000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.readAll(), "ended " + QByteArray::number(signalNumber) + "\nout\n");
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
