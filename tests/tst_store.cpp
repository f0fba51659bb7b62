#include "book/export.h"
#include "book/parcelrecord.h"
#include "book/store.h"
#include "core/textcodec.h"
#include "support/datatable.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <QCoreApplication>
#include <QStandardPaths>
#include <QStringEncoder>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zjx;

namespace {
QByteArray gbk(const QString& s) {
    return codec::toGbk(s);
}

// File permissions bind only those who are not root: as root, `check` runs in a child process that
// has become the user nobody. Returns whether `check` held.
bool asUnprivilegedUser(const std::function<bool()>& check) {
    if (geteuid() != 0)
        return check();
    const pid_t child = fork();
    if (child == 0) {
        const bool ok = setgid(65534) == 0 && setuid(65534) == 0 && check();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void writeFile(const QString& path, const QByteArray& bytes, mode_t mode = 0600) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    QCOMPARE(chmod(QFile::encodeName(path).constData(), mode), 0);
}
} // namespace

class TestStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void read_data() {
        test::addColumns<QByteArray, QStringList, QStringList>("bytes", "records", "notes");
        const QString a = QStringLiteral("111|申通快递|书"), b = QStringLiteral("222|顺丰快递|鞋");
        test::dataRow("two lines", gbk(a + "\r\n" + b + "\r\n"), QStringList{a, b},
                      QStringList{QStringLiteral("书"), QStringLiteral("鞋")});
        test::dataRow("last line without CR LF", gbk(a + "\r\n" + b), QStringList{a, b},
                      QStringList{QStringLiteral("书"), QStringLiteral("鞋")});
        // A short line is skipped; the parcels after it must still load.
        test::dataRow("short line between", gbk(a + "\r\n333|圆通快递\r\n" + b + "\r\n"), QStringList{a, b},
                      QStringList{QStringLiteral("书"), QStringLiteral("鞋")});
        test::dataRow("empty line between", gbk(a + "\r\n\r\n" + b + "\r\n"), QStringList{a, b},
                      QStringList{QStringLiteral("书"), QStringLiteral("鞋")});
        test::dataRow("CR alone and LF alone end lines", gbk(a + "\r" + b + "\n"), QStringList{a, b},
                      QStringList{QStringLiteral("书"), QStringLiteral("鞋")});
        const QString extra = QStringLiteral("444|中通快递|衣服|冬");
        // The add panel takes "|" in a note: it reads back whole.
        test::dataRow("bar in the note", gbk(extra + "\r\n"), QStringList{extra},
                      QStringList{QStringLiteral("衣服|冬")});
        const QString gsd = QStringLiteral("555|共速达物流|快递|电脑");
        test::dataRow("company with a bar", gbk(gsd + "\r\n"), QStringList{gsd}, QStringList{QStringLiteral("电脑")});
        test::dataRow("empty file", QByteArray(), QStringList{}, QStringList{});
    }
    void read() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, records);
        QFETCH(QStringList, notes);
        const StoreContents c = Store::parse(bytes);
        QCOMPARE(c.records, records);
        QCOMPARE(c.notes, notes);
    }

    // Books written by other programs: UTF-8 from an editor, a byte-order mark, damaged lines.
    void foreignBooks_data() {
        test::addColumns<QByteArray, QStringList, int, bool>("bytes", "records", "skipped", "keepOriginal");
        const QString a = QStringLiteral("111|申通快递|书"), b = QStringLiteral("222|顺丰快递|鞋");
        const QStringList both{a, b};
        test::dataRow("UTF-8", (a + "\r\n" + b + "\n").toUtf8(), both, 0, true);
        test::dataRow("UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + (a + "\n" + b).toUtf8(), both, 0, true);
        test::dataRow("GBK with a byte-order mark", "\xEF\xBB\xBF" + gbk(a + "\r\n" + b), both, 0, false);
        test::dataRow("GBK, blank lines", gbk(a + "\r\n\r\n" + b + "\r\n\r\n"), both, 0, false);
        test::dataRow("binary lines between", gbk(a + "\r\n") + QByteArray("\x81\xff|\x80\x80\r\nzz\r\n") + gbk(b),
                      both, 2, true);
        const QByteArray damaged("333|x|\x81\r\n");
        test::dataRow("a bad byte in a parcel loads marked", damaged, QStringList{codec::fromGbk(damaged).trimmed()}, 0,
                      true);
        test::dataRow("ASCII", QByteArray("1|UPS|box\r\n"), QStringList{QStringLiteral("1|UPS|box")}, 0, false);
        // Its GBK bytes happen to be valid UTF-8 (two Latin letters each): still a GBK book.
        const QString lu = QStringLiteral("1|EMS|卢炉");
        test::dataRow("GBK that is valid UTF-8 too", gbk(lu + "\r\n"), QStringList{lu}, 0, false);
    }
    void foreignBooks() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, records);
        QFETCH(int, skipped);
        QFETCH(bool, keepOriginal);
        const StoreContents c = Store::parse(bytes);
        QCOMPARE(c.records, records);
        QCOMPARE(c.skippedLines, skipped);
        QCOMPARE(c.rewriteLoses(), keepOriginal);
    }

    void originalIsKeptUnderAFreeName() {
        QTemporaryDir dir;
        const QString path = Store::pathIn(dir.path());
        writeFile(path, "first");
        QCOMPARE(Store::keepOriginal(path), path + QStringLiteral(".bak"));
        writeFile(path, "second");
        QCOMPARE(Store::keepOriginal(path), path + QStringLiteral(".bak.2"));
        QFile first(path + QStringLiteral(".bak"));
        QVERIFY(first.open(QIODevice::ReadOnly));
        QCOMPARE(first.readAll(), QByteArray("first"));
    }

    void bookThatExistsButCannotBeRead() {
        QTemporaryDir dir;
        chmod(QFile::encodeName(dir.path()).constData(), 0777);
        const QString path = Store::pathIn(dir.path());
        QVERIFY(!Store::read(path).unreadable);
        QVERIFY(QDir().mkpath(path));
        QVERIFY(Store::read(path).unreadable);
        QDir().rmdir(path);
        writeFile(path, "1|UPS|x\r\n", 0222);
        QVERIFY(asUnprivilegedUser([&] { return Store::read(path).unreadable; }));
    }

    // Where the book goes: (folder writable, book mode) -> beside the program or the data folder.
    void location_data() {
        // bookMode 0: no book
        test::addColumns<bool, int, bool>("folderWritable", "bookMode", "beside");
        QTest::newRow("writable folder, no book") << true << 0 << true;
        QTest::newRow("writable folder, writable book") << true << 0666 << true;
        QTest::newRow("writable folder, unreadable book") << true << 0222 << true;
        QTest::newRow("writable folder, read-only book") << true << 0444 << false;
        QTest::newRow("closed folder, writable book") << false << 0666 << false;
        QTest::newRow("closed folder, read-only book") << false << 0444 << false;
        QTest::newRow("closed folder, unreadable book") << false << 0222 << true;
    }
    void location() {
        QFETCH(bool, folderWritable);
        QFETCH(int, bookMode);
        QFETCH(bool, beside);
        QTemporaryDir program, home;
        chmod(QFile::encodeName(home.path()).constData(), 0777); // nobody makes its data folder here
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        const QString book = Store::pathIn(program.path());
        if (bookMode)
            writeFile(book, "1|UPS|x\r\n", mode_t(bookMode));
        chmod(QFile::encodeName(program.path()).constData(), folderWritable ? 0777 : 0555);
        const QString data = Store::pathIn(home.path() + QStringLiteral("/zjx"));
        const bool held = asUnprivilegedUser([&] {
            const QString located = Store::locate(program.path());
            if (located != (beside ? book : data))
                return false;
            // A book moved to the data folder comes along and can be saved there.
            if (!beside && bookMode && Store::read(located).records != QStringList{QStringLiteral("1|UPS|x")})
                return false;
            return beside || Store::write(located, {QStringLiteral("2|UPS|y")}).ok();
        });
        chmod(QFile::encodeName(program.path()).constData(), 0700);
        QVERIFY(held);
    }

    // An installed program's folder is never the book's place, even for root who could write there.
    void installedProgramKeepsTheBookInTheDataFolder() {
        QVERIFY(Store::isSystemFolder(QStringLiteral("/usr/lib/zjx")));
        QVERIFY(Store::isSystemFolder(QStringLiteral("/usr/lib/../lib/zjx/")));
        QVERIFY(!Store::isSystemFolder(QStringLiteral("/usrlocal/zjx")));
        QVERIFY(!Store::isSystemFolder(QStringLiteral("/home/me/zjx")));
        // An installed program under a /usr of the test's own, which anyone running the test can write.
        QTemporaryDir usr, home;
        const QString installed = usr.path() + QStringLiteral("/lib/zjx");
        QVERIFY(QDir().mkpath(installed));
        Store::setSystemPrefix(usr.path());
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        const QString located = Store::locate(installed);
        const bool outsideSeen = !Store::isSystemFolder(QStringLiteral("/usr/lib/zjx"));
        Store::setSystemPrefix(QString());
        QCOMPARE(located, home.path() + QStringLiteral("/zjx/wlnum.ini"));
        QVERIFY(outsideSeen); // the real /usr is not that test's
        QVERIFY(!QFileInfo::exists(installed + QStringLiteral("/wlnum.ini")));
    }

    void bookInTheDoubledDataFolderIsMoved() {
        if (!QFileInfo(QStringLiteral("/proc/self")).isDir())
            QSKIP("no /proc");
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        QCoreApplication::setOrganizationName(QStringLiteral("zjx"));
        QCoreApplication::setApplicationName(QStringLiteral("zjx"));
        const QString doubled = home.path() + QStringLiteral("/zjx/zjx");
        QVERIFY(QDir().mkpath(doubled));
        writeFile(Store::pathIn(doubled), "1|UPS|x\r\n");
        const QString located = Store::locate(QStringLiteral("/proc/self"));
        QCOMPARE(located, home.path() + QStringLiteral("/zjx/wlnum.ini"));
        QCOMPARE(Store::read(located).records, QStringList{QStringLiteral("1|UPS|x")});
        QVERIFY(!QFileInfo::exists(Store::pathIn(doubled)));
    }

    void missingFileIsAnEmptyBook() {
        QTemporaryDir dir;
        const StoreContents c = Store::read(dir.filePath(QStringLiteral("wlnum.ini")));
        QVERIFY(c.records.isEmpty());
        QVERIFY(c.notes.isEmpty());
    }

    void writeExactBytes_data() {
        test::addColumns<QStringList, QByteArray>("records", "bytes");
        test::dataRow("empty book is 0 bytes", QStringList{}, QByteArray());
        test::dataRow("CR LF after every line",
                      QStringList{QStringLiteral("111|申通快递|书"), QStringLiteral("222|顺丰快递|鞋")},
                      QByteArray("111|\xc9\xea\xcd\xa8\xbf\xec\xb5\xdd|\xca\xe9\r\n"
                                 "222|\xcb\xb3\xb7\xe1\xbf\xec\xb5\xdd|\xd0\xac\r\n"));
        // A character GBK cannot hold takes its four-byte GB18030 form.
        test::dataRow("outside GBK", QStringList{QStringLiteral("9|UPS|a\U0001F600b")},
                      QByteArray("9|UPS|a\x94\x39\xFC\x36"
                                 "b\r\n"));
        test::dataRow("euro stays GBK's", QStringList{QStringLiteral("9|UPS|\u20AC")}, QByteArray("9|UPS|\x80\r\n"));
    }
    void writeExactBytes() {
        QFETCH(QStringList, records);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        const QString path = Store::pathIn(dir.path());
        QCOMPARE(Store::write(path, records).errorText(), QString());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), bytes);
    }

    // Every note reads back whole; one that only GBK holds is written as GBK, byte for byte. A note
    // with a character no form reads back as itself is refused, and the file keeps what it held.
    void notesBeyondGbk_data() {
        test::addColumns<QString, bool, bool>("note", "written", "gbkBytes");
        test::dataRow("GBK only", QStringLiteral("爸爸衣服 €"), true, true);
        test::dataRow("gift", QStringLiteral("礼物🎁"), true, false);
        test::dataRow("Korean", QStringLiteral("한국어"), true, false);
        test::dataRow("mixed", QStringLiteral("Café 礼物 ñ 한 😀"), true, false);
        test::dataRow("lone surrogate", QStringLiteral("书") + QChar(0xD800), false, false);
        test::dataRow("two-byte GB18030 code GBK reads otherwise", QStringLiteral("\u1E3F"), false, false);
    }
    void notesBeyondGbk() {
        QFETCH(QString, note);
        QFETCH(bool, written);
        QFETCH(bool, gbkBytes);
        QTemporaryDir dir;
        const QString path = Store::pathIn(dir.path());
        const QStringList before{QStringLiteral("1|申通快递|书")};
        QVERIFY(Store::write(path, before).ok());
        const QStringList records = before + QStringList{QStringLiteral("2|中通快递|") + note};
        QCOMPARE(Store::write(path, records).ok(), written);
        QCOMPARE(Store::firstUnwritable(records), written ? -1 : 1);
        QCOMPARE(Store::read(path).records, written ? records : before);
        if (gbkBytes)
            QCOMPARE(test::fileBytes(path), codec::gbkLines(records));
    }

    // Over every character: what is written reads back as itself, alone and in one long text; a
    // character GBK holds is written as GBK writes it; only a few dozen have no form at all.
    void everyCharacterReadsBackAsWritten() {
        QString all;
        int refused = 0;
        for (char32_t c = 1; c <= 0x10FFFF; c += c < 0x10000 ? 1 : 61) {
            if (c >= 0xD800 && c < 0xE000)
                continue;
            const QString one = QString::fromUcs4(&c, 1);
            bool complete = false;
            const QByteArray bytes = codec::toGb18030(one, &complete);
            if (!complete) {
                ++refused;
                continue;
            }
            QCOMPARE(codec::fromGb18030(bytes), one);
            QStringEncoder gbk("GBK", QStringConverter::Flag::Stateless);
            const QByteArray narrow = gbk.encode(one);
            if (!gbk.hasError())
                QCOMPARE(bytes, narrow);
            all += one;
        }
        QVERIFY2(refused < 100, qPrintable(QString::number(refused)));
        QCOMPARE(codec::fromGb18030(codec::toGb18030(all)), all);
    }

    void roundTripOfTheBarCompany() {
        const QString line =
            ParcelRecord::build(QStringLiteral("777"), QStringLiteral("共速达物流|快递"), QStringLiteral("冬衣"));
        QCOMPARE(line, QStringLiteral("777|共速达物流|快递|冬衣"));
        const ParcelFields f = ParcelRecord::split(line);
        QCOMPARE(f.number, QStringLiteral("777"));
        QCOMPARE(f.company, QStringLiteral("共速达物流|快递"));
        QCOMPARE(f.note, QStringLiteral("冬衣"));
        // Three fields keep the plain reading, as older files were read.
        const ParcelFields old = ParcelRecord::split(QStringLiteral("777|共速达物流|快递"));
        QCOMPARE(old.company, QStringLiteral("共速达物流"));
        QCOMPARE(old.note, QStringLiteral("快递"));
        // Everything after the company is the note, also after the bar company.
        QCOMPARE(ParcelRecord::split(QStringLiteral("2|共速达物流|快递|鞋|冬|x")).note, QStringLiteral("鞋|冬|x"));
    }

    void failedWriteKeepsTheOldFile() {
        QTemporaryDir dir;
        const QString path = Store::pathIn(dir.path());
        QCOMPARE(Store::write(path, {QStringLiteral("1|UPS|old")}).errorText(), QString());
        // A full disk, as the kernel reports it: writes past the size limit fail, even for root.
        signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 64;
        setrlimit(RLIMIT_FSIZE, &small);
        const Result written = Store::write(path, QStringList(50, QStringLiteral("2|UPS|a much longer new book")));
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!written.ok());
        QVERIFY(!written.errorText().isEmpty());
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
        QCOMPARE(Store::write(located, {QStringLiteral("1|UPS|x")}).errorText(), QString());
        QCOMPARE(Store::read(located).records, QStringList{QStringLiteral("1|UPS|x")});
    }

    // The parcels are the user's alone, whatever the umask says and however readable an earlier
    // file was; an export is the user's to hand on and follows the umask.
    void writtenFilesAreTheOwnersAlone_data() {
        test::addColumns<QString, int>("writer", "mode");
        for (const char* writer : {"new book", "existing book", "copy before rewrite", "set aside"})
            QTest::newRow(writer) << QString::fromLatin1(writer) << 0600;
        QTest::newRow("export") << QStringLiteral("export") << 0644;
        QTest::newRow("data folder") << QStringLiteral("data folder") << 0700;
    }
    void writtenFilesAreTheOwnersAlone() {
        QFETCH(QString, writer);
        QFETCH(int, mode);
        QTemporaryDir dir;
        const mode_t oldMask = umask(022);
        const QString book = dir.filePath(QStringLiteral("wlnum.ini"));
        if (writer != u"new book")
            writeFile(book, "1|UPS|old\r\n", 0644);
        QString written = book;
        if (writer == u"new book" || writer == u"existing book")
            QVERIFY(Store::write(book, {QStringLiteral("1|UPS|x")}).ok());
        else if (writer == u"copy before rewrite")
            written = Store::keepOriginal(book);
        else if (writer == u"set aside")
            written = Store::setAside(book);
        else if (writer == u"export")
            QVERIFY(ListExport::write(written = dir.filePath(QStringLiteral("list.txt")), "a").ok());
        else {
            qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("made/here")).toUtf8());
            written = QFileInfo(Store::locate(QStringLiteral("/proc/self"))).path();
            struct stat made {};
            QCOMPARE(stat(QFile::encodeName(dir.filePath(QStringLiteral("made"))).constData(), &made), 0);
            QCOMPARE(int(made.st_mode & 07777), mode);
        }
        umask(oldMask);
        struct stat status {};
        QCOMPARE(stat(QFile::encodeName(written).constData(), &status), 0);
        QCOMPARE(int(status.st_mode & 07777), mode);
    }

    void pathJoinsWithOneSeparator() {
        QCOMPARE(Store::pathIn(QStringLiteral("/opt/zjx")), QStringLiteral("/opt/zjx/wlnum.ini"));
        QCOMPARE(Store::pathIn(QStringLiteral("/opt/zjx/")), QStringLiteral("/opt/zjx/wlnum.ini"));
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
