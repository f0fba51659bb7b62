// One program per book: a second start on the book asks the first to show its window, whatever
// its runtime folder; a lock left by a killed program is taken over, one planted elsewhere means
// nothing. And a program asked to end by a signal leaves through its event loop.
#include "platform/endsignals.h"
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
    // folder (made for them alone); a live lock where the runtime folder is (another user's, in
    // /tmp) changes nothing; the socket that raises the window is its user's alone either way.
    void lockBelongsToTheBook_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("place"); // 0: the folder itself, 1: another user's, 2: a link to it
        QTest::addColumn<bool>("beside");
        QTest::newRow("0700") << 0700 << 0 << true;
        QTest::newRow("0755: others only read") << 0755 << 0 << true;
        QTest::newRow("0720: the group writes") << 0720 << 0 << false;
        QTest::newRow("0702: others write") << 0702 << 0 << false;
        QTest::newRow("1777: like /tmp") << 01777 << 0 << false;
        QTest::newRow("another user's") << 0700 << 1 << false;
        QTest::newRow("a link to a private folder") << 0700 << 2 << false;
    }
    void lockBelongsToTheBook() {
        QFETCH(int, mode);
        QFETCH(int, place);
        QFETCH(bool, beside);
        QString shared = folder(QString::fromLatin1(QTest::currentDataTag()));
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), mode_t(mode)), 0);
        if (place == 1) {
            if (::geteuid() != 0)
                QSKIP("only the superuser can give a folder to another user");
            QCOMPARE(::chown(QFile::encodeName(shared).constData(), 65534, gid_t(-1)), 0);
        } else if (place == 2) {
            QVERIFY(QFile::link(shared, shared + QStringLiteral("-link")));
            shared += QStringLiteral("-link");
        }
        const QString bookPath = shared + QStringLiteral("/wlnum.ini");
        QLockFile planted(qEnvironmentVariable("XDG_RUNTIME_DIR") + u'/' + m_key + u'-' +
                          QString::number(::getuid()) + QStringLiteral(".lock"));
        QVERIFY(planted.tryLock(0));
        SingleInstance first(m_key, bookPath);
        QVERIFY(first.claim());
        QCOMPARE(first.lockPath().startsWith(SingleInstance::privateFolder()), !beside);
        QCOMPARE(first.lockPath().startsWith(shared), beside);
        QCOMPARE(QFile::permissions(first.lockPath()) & 0x0077, QFile::Permissions()); // names this process and host
        QVERIFY(!SingleInstance(m_key, bookPath).claim());
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(first.socketPath()).constData(), &status), 0);
        QVERIFY2((status.st_mode & 077) == 0, qPrintable(QString::number(status.st_mode & 0777, 8)));
        if (!beside) {
            QCOMPARE(::stat(QFile::encodeName(SingleInstance::privateFolder()).constData(), &status), 0);
            QCOMPARE(status.st_mode & 0777, mode_t(0700));
        }
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

    // Once the watch on the ending signals is gone, each signal has its default action again and the
    // watch's pipe is closed; a new watch takes them all over again.
    void endSignalsGivenBack() {
        const auto handler = [](int number) {
            struct sigaction current {};
            ::sigaction(number, nullptr, &current);
            return current.sa_handler;
        };
        const QStringList descriptors = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System);
        for (int round = 0; round < 2; ++round) {
            {
                zjx::EndSignals watch;
                for (int number : {SIGTERM, SIGINT, SIGHUP})
                    QVERIFY(handler(number) != SIG_DFL && handler(number) != SIG_IGN);
            }
            for (int number : {SIGTERM, SIGINT, SIGHUP})
                QVERIFY(handler(number) == SIG_DFL);
            QCOMPARE(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System), descriptors);
        }
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
