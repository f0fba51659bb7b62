#include "book/parcelrecord.h"
#include "book/store.h"
#include "core/textcodec.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace zjx;

namespace {
QByteArray gbk(const QString& s) { return codec::toGbk(s); }
} // namespace

class TestStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void read_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QStringList>("notes");
        const QString a = QStringLiteral("111|申通快递|书"), b = QStringLiteral("222|顺丰快递|鞋");
        QTest::newRow("two lines") << gbk(a + "\r\n" + b + "\r\n") << QStringList{a, b}
                                   << QStringList{QStringLiteral("书"), QStringLiteral("鞋")};
        QTest::newRow("last line without CR LF") << gbk(a + "\r\n" + b) << QStringList{a, b}
                                                 << QStringList{QStringLiteral("书"), QStringLiteral("鞋")};
        // A short line is skipped; the parcels after it must still load.
        QTest::newRow("short line between") << gbk(a + "\r\n333|圆通快递\r\n" + b + "\r\n") << QStringList{a, b}
                                            << QStringList{QStringLiteral("书"), QStringLiteral("鞋")};
        QTest::newRow("empty line between") << gbk(a + "\r\n\r\n" + b + "\r\n") << QStringList{a, b}
                                            << QStringList{QStringLiteral("书"), QStringLiteral("鞋")};
        QTest::newRow("CR alone and LF alone end lines") << gbk(a + "\r" + b + "\n") << QStringList{a, b}
                                                         << QStringList{QStringLiteral("书"), QStringLiteral("鞋")};
        const QString extra = QStringLiteral("444|中通快递|衣服|冬");
        QTest::newRow("bar in the note") << gbk(extra + "\r\n") << QStringList{extra}
                                         << QStringList{QStringLiteral("衣服")};
        const QString gsd = QStringLiteral("555|共速达物流|快递|电脑");
        QTest::newRow("company with a bar") << gbk(gsd + "\r\n") << QStringList{gsd}
                                            << QStringList{QStringLiteral("电脑")};
        QTest::newRow("empty file") << QByteArray() << QStringList{} << QStringList{};
    }
    void read() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, records);
        QFETCH(QStringList, notes);
        const StoreContents c = Store::parse(bytes);
        QCOMPARE(c.records, records);
        QCOMPARE(c.notes, notes);
    }

    void missingFileIsAnEmptyBook() {
        QTemporaryDir dir;
        const StoreContents c = Store::read(dir.filePath(QStringLiteral("wlnum.ini")));
        QVERIFY(c.records.isEmpty());
        QVERIFY(c.notes.isEmpty());
    }

    void writeExactBytes_data() {
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty book is 0 bytes") << QStringList{} << QByteArray();
        QTest::newRow("CR LF after every line")
            << QStringList{QStringLiteral("111|申通快递|书"), QStringLiteral("222|顺丰快递|鞋")}
            << QByteArray("111|\xc9\xea\xcd\xa8\xbf\xec\xb5\xdd|\xca\xe9\r\n"
                          "222|\xcb\xb3\xb7\xe1\xbf\xec\xb5\xdd|\xd0\xac\r\n");
        // A character GBK cannot hold is stored as "?".
        QTest::newRow("outside GBK") << QStringList{QStringLiteral("9|UPS|a\U0001F600b")} << QByteArray("9|UPS|a?b\r\n");
    }
    void writeExactBytes() {
        QFETCH(QStringList, records);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = Store::pathIn(dir.path());
        QCOMPARE(Store::write(path, records), QString());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), bytes);
    }

    void roundTripOfTheBarCompany() {
        const QString line = ParcelRecord::build(QStringLiteral("777"), QStringLiteral("共速达物流|快递"),
                                                 QStringLiteral("冬衣"));
        QCOMPARE(line, QStringLiteral("777|共速达物流|快递|冬衣"));
        const ParcelFields f = ParcelRecord::split(line);
        QCOMPARE(f.number, QStringLiteral("777"));
        QCOMPARE(f.company, QStringLiteral("共速达物流|快递"));
        QCOMPARE(f.note, QStringLiteral("冬衣"));
        // Three fields keep the plain reading, as older files were read.
        const ParcelFields old = ParcelRecord::split(QStringLiteral("777|共速达物流|快递"));
        QCOMPARE(old.company, QStringLiteral("共速达物流"));
        QCOMPARE(old.note, QStringLiteral("快递"));
        // Changing the fields keeps what follows the note.
        QCOMPARE(ParcelRecord::withFields(QStringLiteral("1|申通快递|衣服|冬|x"), QStringLiteral("2"),
                                          QStringLiteral("共速达物流|快递"), QStringLiteral("鞋")),
                 QStringLiteral("2|共速达物流|快递|鞋|冬|x"));
    }

    void failedWriteKeepsTheOldFile() {
        QTemporaryDir dir;
        const QString path = Store::pathIn(dir.path());
        QCOMPARE(Store::write(path, {QStringLiteral("1|UPS|old")}), QString());
        // A full disk, as the kernel reports it: writes past the size limit fail, even for root.
        signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 64;
        setrlimit(RLIMIT_FSIZE, &small);
        const QString error = Store::write(path, QStringList(50, QStringLiteral("2|UPS|a much longer new book")));
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!error.isEmpty());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("1|UPS|old\r\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("wlnum.ini")});
    }

    void unwritableProgramFolderMovesTheBook() {
        // Nobody, root included, can create files in /proc.
        if (!QFileInfo(QStringLiteral("/proc/self")).isDir())
            QSKIP("no /proc");
        QTemporaryDir dir;
        qputenv("XDG_DATA_HOME", dir.path().toUtf8());
        const QString located = Store::locate(QStringLiteral("/proc/self"));
        QVERIFY2(located.startsWith(dir.path()), qPrintable(located));
        QVERIFY(located.endsWith(QStringLiteral("/wlnum.ini")));
        QCOMPARE(Store::write(located, {QStringLiteral("1|UPS|x")}), QString());
        QCOMPARE(Store::read(located).records, QStringList{QStringLiteral("1|UPS|x")});
    }

    void pathJoinsWithOneSeparator() {
        QCOMPARE(Store::pathIn(QStringLiteral("/opt/zjx")), QStringLiteral("/opt/zjx/wlnum.ini"));
        QCOMPARE(Store::pathIn(QStringLiteral("/opt/zjx/")), QStringLiteral("/opt/zjx/wlnum.ini"));
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
