#pragma once

#include "watch/parcelstates.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace zjx {

// What the watch knows, in an SQLite database beside the book: one row per parcel (state, latest
// event, asks, when last asked, news, estimate, pickup code) and the day's ledger. A change is
// queued and written with the others of the same moment in one transaction when control returns
// to the event loop: an answer writes its own row, a bulk action one transaction. The journal is
// a write-ahead log, so a crash loses at most the last transaction and never damages the rest.
// The book itself stays in wlnum.ini.
class WatchStore : public QObject {
    Q_OBJECT
public:
    static QString fileName() { return QStringLiteral("zjx-watch.db"); }
    static QString pathBeside(const QString& bookPath);

    explicit WatchStore(QObject* parent = nullptr);
    ~WatchStore() override; // writes what is queued

    struct Opened {
        QHash<ParcelKey, ParcelState> states;
        WatchLedger ledger;
        QString keptAside; // where a damaged database (or what stood in its place) was moved
        bool imported = false; // the knowledge came from an older parcels.json, now kept as a backup
        QString error;         // the database could not be opened: the watch keeps its knowledge in memory
    };
    // Opens (or creates) the database at `path`, owner-only. A file that is not a database of ours,
    // or not a regular file at all (a pipe would hang the program), is moved aside and the database
    // started afresh. A new database takes in `legacyJsonPath` once, which is then renamed *.bak.
    Opened open(const QString& path, const QString& legacyJsonPath = {});
    bool isOpen() const;
    QString path() const { return m_path; }

    // The parcel's row as `state` says, or gone when it is nothing.
    void put(const ParcelKey& key, const ParcelState* state);
    void putLedger(const WatchLedger& ledger);
    // Writes what is queued in one transaction now; true when it is on disk (or nothing waited).
    bool flush();
    bool pending() const { return !m_rows.isEmpty() || m_ledger.has_value(); }
    int transactions() const { return m_transactions; } // written since opening (for measurements)

private:
    bool openAt(const QString& path);
    bool readAll(Opened& opened);
    bool writeQueued(); // the queued rows and ledger, inside a transaction the caller holds
    void close();
    void scheduleFlush();

    QString m_path;
    QString m_connection;
    QHash<ParcelKey, std::optional<ParcelState>> m_rows;
    std::optional<WatchLedger> m_ledger;
    bool m_flushScheduled = false;
    int m_transactions = 0;
};

} // namespace zjx
