// Archiving moves a parcel between two files. A writer that moves parcels back and forth is killed
// (SIGKILL) at random moments (a printed seed replays them); after each kill the start-up
// reconciliation must leave every parcel exactly once, in the book or in the archive.
#include "book/archive.h"
#include "book/parcelbook.h"
#include "book/store.h"
#include "support/testseed.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <csignal>
#include <thread>

using namespace zjx;

class TestArchive : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedMoverLosesAndDuplicatesNothing() {
        QTemporaryDir dir;
        const QString bookPath = dir.filePath(Store::fileName());
        QStringList parcels;
        for (int i = 0; i < 40; ++i)
            parcels << QStringLiteral("ZJX%1|申通快递|包裹%1").arg(i, 6, 10, QLatin1Char('0'));
        QVERIFY(Store::write(bookPath, parcels).ok());
        const QString writer = QCoreApplication::applicationDirPath() + QStringLiteral("/archivewriter");
        QVERIFY2(QFileInfo(writer).isExecutable(), qPrintable(writer));

        QRandomGenerator random(zjx::test::testSeed("kill moments"));
        int inBoth = 0;
        constexpr int kills = 80;
        for (int k = 0; k < kills; ++k) {
            QProcess child;
            child.start(writer, {bookPath});
            QVERIFY(child.waitForStarted(5000));
            QVERIFY(child.waitForReadyRead(5000)); // "m": the moves run
            std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(1, 20000)));
            ::kill(pid_t(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished(5000));
            const QStringList archived = Store::read(ParcelArchive::pathBeside(bookPath)).records;
            for (const QString& record : Store::read(bookPath).records)
                inBoth += archived.contains(record);
            QStringList all = startUp(bookPath);
            all.sort();
            QVERIFY2(all == parcels, qPrintable(QStringLiteral("kill %1: %2 records").arg(k).arg(all.size())));
        }
        qInfo("%d kills, %d left a parcel in both files before the reconciliation", kills, inBoth);
    }

    void parcelInBothFilesStaysInTheBook() {
        // What a kill between a move's two writes leaves, whichever way the parcel went.
        QTemporaryDir dir;
        const QString bookPath = dir.filePath(Store::fileName());
        const QString a = QStringLiteral("ZJX1|申通快递|a"), b = QStringLiteral("ZJX2|申通快递|b");
        QVERIFY(Store::write(bookPath, {a}).ok());
        QVERIFY(Store::write(ParcelArchive::pathBeside(bookPath), {b, a, b}).ok());
        QCOMPARE(startUp(bookPath), (QStringList{a, b}));
        QCOMPARE(Store::read(bookPath).records, QStringList{a});
        // Deleted for good: gone from the file and from what the archive holds.
        ParcelArchive archive;
        archive.setPath(ParcelArchive::pathBeside(bookPath));
        archive.load();
        QVERIFY(archive.remove(0).ok());
        QCOMPARE(archive.records(), QStringList());
        QCOMPARE(Store::read(archive.path()).records, QStringList());
    }

    void manyMoveAsOne() {
        // Chosen rows in any order, one twice, one gone: each moves once, in the order chosen.
        QTemporaryDir dir;
        const QString bookPath = dir.filePath(Store::fileName());
        QStringList parcels;
        for (int i = 0; i < 10; ++i)
            parcels << QStringLiteral("ZJX%1|申通快递|包裹%1").arg(i);
        QVERIFY(Store::write(bookPath, parcels).ok());
        ParcelBook book;
        book.setPath(bookPath);
        (void)book.load();
        ParcelArchive archive;
        archive.setPath(ParcelArchive::pathBeside(bookPath));
        archive.load();
        QSignalSpy removed(&book, &ParcelBook::noteRemoved);
        QVERIFY(archive.archive(book, {7, 2, 2, 9, 42}).ok());
        QCOMPARE(removed.size(), 3);
        QStringList kept = parcels;
        for (int i : {9, 7, 2})
            kept.removeAt(i);
        QCOMPARE(book.records(), kept);
        QCOMPARE(archive.records(), (QStringList{parcels.at(7), parcels.at(2), parcels.at(9)}));
        QVERIFY(archive.restore(book, {2, 0}).ok());
        QCOMPARE(book.records(), kept + QStringList({parcels.at(9), parcels.at(7)}));
        QCOMPARE(archive.records(), QStringList{parcels.at(2)});
        QVERIFY(archive.remove(QList<int>{0, 5}).ok());
        QCOMPARE(Store::read(bookPath).records, book.records());
        QCOMPARE(Store::read(archive.path()).records, QStringList());
    }

private:
    QStringList startUp(const QString& bookPath) {
        // The book is read, then the archive is reconciled with it; the files are read back as a new run would.
        ParcelBook book;
        book.setPath(bookPath);
        (void)book.load();
        ParcelArchive archive;
        archive.setPath(ParcelArchive::pathBeside(bookPath));
        archive.load();
        if (!archive.reconcile(book.records()).ok())
            return {QStringLiteral("reconciliation failed")};
        // What the archive holds from now on is what its file says.
        const QStringList archived = Store::read(archive.path()).records;
        if (archive.records() != archived)
            return {QStringLiteral("the archive holds other parcels than its file")};
        return Store::read(bookPath).records + archived;
    }
};

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_archive.moc"
