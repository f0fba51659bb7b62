#include "book/bookkeeper.h"
#include "book/parcelbook.h"
#include "book/store.h"
#include "core/textcodec.h"
#include "support/datatable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace zjx;

namespace {

const QString first = QStringLiteral("111|申通快递|书");
const QString second = QStringLiteral("222|顺丰快递|鞋");
const QString added = QStringLiteral("333|圆通速递|伞");

bool writeFile(const QString& path, const QStringList& records) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(codec::gbkLines(records)) >= 0;
}

// What a list that follows the book's signals shows.
class NotesMirror : public QObject {
public:
    explicit NotesMirror(ParcelBook& book) {
        connect(&book, &ParcelBook::notesAppended, this, [this](const QStringList& n) { notes += n; });
        connect(&book, &ParcelBook::notesAdopted, this, [this](const QStringList& n) { notes = n + notes; });
        connect(&book, &ParcelBook::noteReplaced, this, [this](int i, const QString& n) { notes[i] = n; });
        connect(&book, &ParcelBook::noteRemoved, this, [this](int i) { notes.removeAt(i); });
        connect(&book, &ParcelBook::notesCleared, this, [this] { notes.clear(); });
    }
    QStringList notes;
};

} // namespace

class TestParcelBook : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A book whose file cannot be read (here a folder of that name) is never overwritten: every
    // change fails with the reason, and the book in memory keeps it.
    void changeToUnreadableFileFailsWithReason_data() {
        test::addColumns<int, QStringList>("operation", "kept");
        QTest::newRow("append") << 0 << QStringList{first, added};
        QTest::newRow("replace") << 1 << QStringList{added};
        QTest::newRow("remove") << 2 << QStringList{};
        QTest::newRow("clear: a folder is not set aside") << 3 << QStringList{};
        QTest::newRow("save") << 4 << QStringList{first};
    }
    void changeToUnreadableFileFailsWithReason() {
        QFETCH(int, operation);
        QFETCH(QStringList, kept);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wlnum.ini"));
        QVERIFY(QDir().mkpath(path));
        ParcelBook book;
        book.setPath(path);
        QVERIFY(book.load().unreadable);
        QVERIFY(!book.append(first).ok());
        const Result r = operation == 0   ? book.append(added)
                         : operation == 1 ? book.replace(0, added)
                         : operation == 2 ? book.remove(0)
                         : operation == 3 ? book.clear()
                                          : book.save();
        QVERIFY(!r.ok());
        QVERIFY(!r.errorText().isEmpty());
        QCOMPARE(book.records(), kept);
        QVERIFY(QFileInfo(path).isDir());
    }

    // A note the book cannot store as it is is said by its text, and the file keeps what it held.
    void noteThatCannotBeStoredIsSaid() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wlnum.ini"));
        QVERIFY(writeFile(path, {first}));
        ParcelBook book;
        book.setPath(path);
        (void)book.load();
        const QString note = QStringLiteral("伞") + QChar(0xD800);
        const Result r = book.append(QStringLiteral("333|圆通速递|") + note);
        QCOMPARE(r.errorText(),
                 QStringLiteral("保存失败!备注“%1”含有无法保存的字符,快递列表文件未改动。请修改该备注。").arg(note));
        QCOMPARE(Store::read(path).records, QStringList{first});
    }

    // The list that shows the notes stays aligned with the book through every kind of change,
    // the records of a file made readable again put in front included.
    void signalsKeepAFollowingListAligned() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wlnum.ini"));
        QVERIFY(QDir().mkpath(path));
        ParcelBook book;
        NotesMirror mirror(book);
        book.setPath(path);
        (void)book.load();
        QVERIFY(!book.append(added).ok());
        QVERIFY(QDir().rmdir(path));
        QVERIFY(writeFile(path, {first, second}));
        QVERIFY(book.save().ok());
        QCOMPARE(book.records(), (QStringList{first, second, added}));
        QCOMPARE(mirror.notes, book.notes());
        QVERIFY(book.replace(1, QStringLiteral("222|顺丰快递|新鞋")).ok());
        QVERIFY(book.remove(0).ok());
        QVERIFY(book.remove(5).ok()); // outside the book: nothing changes, the file is still written
        QCOMPARE(mirror.notes, book.notes());
        QCOMPARE(mirror.notes, (QStringList{QStringLiteral("新鞋"), QStringLiteral("伞")}));
        (void)book.reload();
        QCOMPARE(mirror.notes, book.notes());
        QVERIFY(book.clear().ok());
        QVERIFY(mirror.notes.isEmpty());
        QVERIFY(!QFile::exists(path));
    }

    // Changing or removing the chosen parcel rewrites the file whether the user confirms or not: a
    // file that went missing meanwhile is back, with the change only when it was confirmed.
    void chosenParcelChangedOrKeptRewritesTheFile_data() {
        test::addColumns<bool, bool, QStringList>("removing", "confirmed", "written");
        QTest::newRow("changed") << false << true << QStringList{first, added};
        QTest::newRow("change declined") << false << false << QStringList{first, second};
        QTest::newRow("removed") << true << true << QStringList{first};
        QTest::newRow("removal declined") << true << false << QStringList{first, second};
    }
    void chosenParcelChangedOrKeptRewritesTheFile() {
        QFETCH(bool, removing);
        QFETCH(bool, confirmed);
        QFETCH(QStringList, written);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("wlnum.ini"));
        QVERIFY(writeFile(path, {first, second}));
        BookKeeper keeper;
        keeper.book().setPath(path);
        keeper.load();
        QVERIFY(keeper.choose(1));
        keeper.parcelIndexText = QStringLiteral("1");
        QVERIFY(QFile::remove(path));
        removing ? keeper.removeChosen(confirmed) : keeper.changeChosen(added, confirmed);
        QCOMPARE(keeper.records(), written);
        QCOMPARE(Store::read(path).records, written);
    }
};

QTEST_GUILESS_MAIN(TestParcelBook)
#include "tst_parcelbook.moc"
