// Archiving moves a parcel between two files. A writer that moves parcels back and forth is killed
// (SIGKILL) at random moments; after each kill the start-up reconciliation must leave every parcel
// exactly once, in the book or in the archive.
#include "book/archive.h"
#include "book/parcelbook.h"
#include "book/store.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <csignal>
#include <thread>

using namespace zjx;

class TestArchive : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedMoverLosesAndDuplicatesNothing();
};

void TestArchive::killedMoverLosesAndDuplicatesNothing() {
    QTemporaryDir dir;
    const QString bookPath = dir.filePath(Store::fileName());
    QStringList parcels;
    for (int i = 0; i < 40; ++i)
        parcels << QStringLiteral("ZJX%1|申通快递|包裹%1").arg(i, 6, 10, QLatin1Char('0'));
    QVERIFY(Store::write(bookPath, parcels).ok());
    const QString writer = QCoreApplication::applicationDirPath() + QStringLiteral("/archivewriter");
    QVERIFY2(QFileInfo(writer).isExecutable(), qPrintable(writer));

    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
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

        // Start-up: the book is read, then the archive is reconciled with it.
        ParcelBook book;
        book.setPath(bookPath);
        (void)book.load();
        ParcelArchive archive;
        archive.setPath(ParcelArchive::pathBeside(bookPath));
        archive.load();
        for (const QString& record : archive.records())
            inBoth += book.records().contains(record);
        QVERIFY(archive.reconcile(book.records()).ok());
        QStringList all = book.records() + Store::read(archive.path()).records;
        all.sort();
        QVERIFY2(all == parcels,
                 qPrintable(QStringLiteral("kill %1, seed %2: %3 records").arg(k).arg(seed).arg(all.size())));
    }
    qInfo("%d kills, %d left a parcel in both files before the reconciliation", kills, inBoth);
    // Kills that never fell between the two writes would prove nothing.
    QVERIFY(inBoth > 0);
}

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_archive.moc"
