#include "watch/watchstore.h"

#include "core/atomicfile.h"
#include "core/regularfile.h"
#include "watch/pickupcode.h"
#include "watch/statefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <QUuid>

namespace zjx {
namespace {

constexpr int schemaVersion = 1;

// A row of its own per parcel, found by its number and company; an answer rewrites the row in place
// (the key's index is left alone), so it writes one small page and the ledger's.
const char* const createParcel = "CREATE TABLE IF NOT EXISTS parcel ("
                                 " number TEXT NOT NULL, company TEXT NOT NULL,"
                                 " state TEXT NOT NULL DEFAULT '', event_time TEXT NOT NULL DEFAULT '',"
                                 " progress TEXT NOT NULL DEFAULT '', asked INTEGER,"
                                 " trouble TEXT NOT NULL DEFAULT '', unseen INTEGER NOT NULL DEFAULT 0,"
                                 " failures INTEGER NOT NULL DEFAULT 0, delivered_answers INTEGER NOT NULL DEFAULT 0,"
                                 " source TEXT NOT NULL DEFAULT '', estimate TEXT NOT NULL DEFAULT '',"
                                 " pickup_code TEXT NOT NULL DEFAULT '',"
                                 " UNIQUE (number, company))";
const char* const createLedger = "CREATE TABLE IF NOT EXISTS ledger (id INTEGER PRIMARY KEY CHECK (id = 1),"
                                 " backend TEXT NOT NULL, day TEXT NOT NULL, spent INTEGER NOT NULL)";
const char* const createMeta = "CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT) WITHOUT ROWID";
const char* const upsertParcel =
    "INSERT INTO parcel (number, company, state, event_time, progress, asked, trouble, unseen, failures,"
    " delivered_answers, source, estimate, pickup_code) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)"
    " ON CONFLICT (number, company) DO UPDATE SET state = excluded.state, event_time = excluded.event_time,"
    " progress = excluded.progress, asked = excluded.asked, trouble = excluded.trouble, unseen = excluded.unseen,"
    " failures = excluded.failures, delivered_answers = excluded.delivered_answers, source = excluded.source,"
    " estimate = excluded.estimate, pickup_code = excluded.pickup_code";

// The first free name of `base`, `base.2`, `base.3` ...
QString freeName(const QString& base) {
    QString name = base;
    for (int n = 2; QFileInfo::exists(name) || QFileInfo(name).isSymLink(); ++n)
        name = base + u'.' + QString::number(n);
    return name;
}

QSqlDatabase database(const QString& connection) {
    return QSqlDatabase::database(connection, false);
}

bool run(QSqlDatabase db, const char* statement) {
    QSqlQuery query(db);
    return query.exec(QString::fromLatin1(statement));
}

// A text as a column holds it: a null QString would be bound as NULL.
QVariant text(const QString& value) {
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

void bindState(QSqlQuery& q, const ParcelKey& key, const ParcelState& s) {
    q.addBindValue(text(key.number));
    q.addBindValue(text(key.company));
    q.addBindValue(text(s.state));
    q.addBindValue(text(s.latest.time));
    q.addBindValue(text(s.latest.progress));
    q.addBindValue(s.askedAt.isValid() ? QVariant(s.askedAt.toMSecsSinceEpoch()) : QVariant(QMetaType(QMetaType::LongLong)));
    q.addBindValue(text(s.trouble));
    q.addBindValue(int(s.unseen));
    q.addBindValue(s.failures);
    q.addBindValue(s.deliveredAnswers);
    q.addBindValue(text(s.source));
    q.addBindValue(text(QString::fromLatin1(s.estimate)));
    q.addBindValue(text(s.pickupCode()));
}

} // namespace

QString WatchStore::pathBeside(const QString& bookPath) {
    return QFileInfo(bookPath).dir().filePath(fileName());
}

WatchStore::WatchStore(QObject* parent)
    : QObject(parent), m_connection(QStringLiteral("zjx-watch-") + QUuid::createUuid().toString(QUuid::Id128)) {}

WatchStore::~WatchStore() {
    flush();
    close();
}

bool WatchStore::isOpen() const {
    return database(m_connection).isOpen();
}

void WatchStore::close() {
    if (!QSqlDatabase::contains(m_connection))
        return;
    database(m_connection).close();
    QSqlDatabase::removeDatabase(m_connection);
}

bool WatchStore::openAt(const QString& path) {
    close();
    // Created owner-only before SQLite sees it: the log and the shared-memory file it makes
    // beside the database take the database's own mode.
    if (!keepToOwner(path))
        return false;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    if (!db.open())
        return false;
    // Small pages: an answer rewrites one row, and the log takes whole pages. (A database that
    // exists keeps its own.)
    run(db, "PRAGMA page_size=1024");
    // A file that is no SQLite database fails at its first read, here.
    QSqlQuery mode(db);
    if (!mode.exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !mode.next() ||
        mode.value(0).toString().compare(u"wal", Qt::CaseInsensitive) != 0)
        return false;
    mode.finish(); // a statement left open would hold the transactions below
    // Committed transactions survive the program's crash; only a power cut may lose the last ones.
    run(db, "PRAGMA synchronous=NORMAL");
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("PRAGMA user_version")) || !version.next())
        return false;
    const int found = version.value(0).toInt();
    version.finish();
    if (found > schemaVersion)
        return false; // a later program's: kept aside rather than misread
    if (found == 0) {
        // Empty, or someone else's database: ours has no tables before it has a version.
        QSqlQuery tables(db);
        if (!tables.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !tables.next() ||
            tables.value(0).toInt() != 0)
            return false;
        tables.finish();
        if (!db.transaction())
            return false;
        if (!run(db, createParcel) || !run(db, createLedger) || !run(db, createMeta) ||
            !run(db, "PRAGMA user_version=1") || !db.commit()) {
            db.rollback();
            return false;
        }
    }
    return true;
}

bool WatchStore::readAll(Opened& opened) {
    QSqlDatabase db = database(m_connection);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT number, company, state, event_time, progress, asked, trouble, unseen, "
                               "failures, delivered_answers, source, estimate FROM parcel")))
        return false;
    // Each row's time of asking in the local clock. Where the clock keeps one offset from UTC all
    // year, it is given once: asking the system's zone for every row of a large book (each a look
    // at the zone file) took a third of the start-up.
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc();
    const bool oneOffset = QDateTime(QDate(now.date().year(), 1, 1), QTime(12, 0)).offsetFromUtc() == offset &&
                           QDateTime(QDate(now.date().year(), 7, 1), QTime(12, 0)).offsetFromUtc() == offset;
    while (q.next()) {
        ParcelState s;
        s.state = q.value(2).toString();
        s.latest = {q.value(3).toString(), q.value(4).toString()};
        if (!q.isNull(5))
            s.askedAt = oneOffset ? QDateTime::fromMSecsSinceEpoch(q.value(5).toLongLong(), Qt::OffsetFromUTC, offset)
                                  : QDateTime::fromMSecsSinceEpoch(q.value(5).toLongLong());
        s.trouble = q.value(6).toString();
        s.unseen = q.value(7).toInt() != 0;
        s.failures = std::max(0, q.value(8).toInt());
        s.deliveredAnswers = std::max(0, q.value(9).toInt());
        s.source = q.value(10).toString();
        s.estimate = q.value(11).toString().toLatin1();
        opened.states.insert({q.value(0).toString(), q.value(1).toString()}, s);
    }
    // A damaged page shows as an error part-way through the rows.
    if (q.lastError().isValid())
        return false;
    QSqlQuery ledger(db);
    if (!ledger.exec(QStringLiteral("SELECT backend, day, spent FROM ledger WHERE id = 1")))
        return false;
    if (ledger.next())
        opened.ledger = {ledger.value(0).toString(), QDate::fromString(ledger.value(1).toString(), Qt::ISODate),
                         std::max(0, ledger.value(2).toInt())};
    ledger.finish();
    q.finish();
    return true;
}

WatchStore::Opened WatchStore::open(const QString& path, const QString& legacyJsonPath) {
    Opened opened;
    m_path = path;
    const QStringList companions{path + QStringLiteral("-wal"), path + QStringLiteral("-shm")};
    // SQLite opens the files itself: a pipe in their place would hold the start for good.
    const auto regular = [&] {
        return regularOrMissing(path) && regularOrMissing(companions.at(0)) && regularOrMissing(companions.at(1));
    };
    // Left readable by an earlier version or another program: the user's alone from now on.
    tightenToOwner(path, true);
    const bool existed = QFileInfo::exists(path) || QFileInfo(path).isSymLink();
    if (!regular() || !openAt(path) || !readAll(opened)) {
        close();
        opened = {};
        // Kept for whoever wants to look at it, with its log; the knowledge starts again.
        if (existed || QFileInfo(path).isSymLink()) {
            const QString aside = freeName(path + QStringLiteral(".damaged"));
            if (QFile::rename(path, aside)) {
                opened.keptAside = aside;
                if (QFileInfo(aside).isFile())
                    keepToOwner(aside);
            }
        } else {
            QFile::remove(path);
        }
        for (const QString& companion : companions)
            if (QFileInfo::exists(companion) || QFileInfo(companion).isSymLink()) {
                const QString suffix = companion.mid(path.size());
                if (opened.keptAside.isEmpty() || !QFile::rename(companion, opened.keptAside + suffix))
                    QFile::remove(companion);
            }
        if (!openAt(path) || !readAll(opened)) {
            opened.error = database(m_connection).lastError().text();
            if (opened.error.isEmpty())
                opened.error = QStringLiteral("cannot open ") + path;
            close();
            return opened;
        }
    }
    if (!legacyJsonPath.isEmpty() && opened.states.isEmpty() && !opened.ledger.day.isValid()) {
        QSqlQuery done(database(m_connection));
        const bool importedBefore = done.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'imported'")) &&
                                    done.next();
        done.finish();
        if (!importedBefore && QFileInfo::exists(legacyJsonPath) && regularOrMissing(legacyJsonPath)) {
            StateFile::Loaded legacy = StateFile::load(legacyJsonPath);
            for (auto it = legacy.states.cbegin(); it != legacy.states.cend(); ++it)
                m_rows.insert(it.key(), it.value());
            if (legacy.ledger.day.isValid() || !legacy.ledger.backend.isEmpty())
                m_ledger = legacy.ledger;
            QSqlDatabase db = database(m_connection);
            // The rows and the mark that they came are one transaction: a crash imports again.
            if (db.transaction()) {
                QSqlQuery mark(db);
                mark.prepare(QStringLiteral("INSERT OR REPLACE INTO meta VALUES ('imported', ?)"));
                mark.addBindValue(legacyJsonPath);
                if (mark.exec() && writeQueued() && db.commit()) {
                    m_rows.clear();
                    m_ledger.reset();
                    opened.states = std::move(legacy.states);
                    opened.ledger = legacy.ledger;
                    opened.imported = true;
                    if (QFileInfo::exists(legacyJsonPath)) {
                        const QString backup = freeName(legacyJsonPath + QStringLiteral(".bak"));
                        if (QFile::rename(legacyJsonPath, backup))
                            keepToOwner(backup);
                    }
                } else {
                    db.rollback();
                    m_rows.clear();
                    m_ledger.reset();
                }
            }
        }
    }
    return opened;
}

void WatchStore::put(const ParcelKey& key, const ParcelState* state) {
    m_rows.insert(key, state ? std::optional<ParcelState>(*state) : std::nullopt);
    scheduleFlush();
}

void WatchStore::putLedger(const WatchLedger& ledger) {
    m_ledger = ledger;
    scheduleFlush();
}

void WatchStore::scheduleFlush() {
    if (std::exchange(m_flushScheduled, true))
        return;
    // Everything changed before control returns to the event loop is one transaction.
    QTimer::singleShot(0, this, [this] {
        m_flushScheduled = false;
        flush();
    });
}

bool WatchStore::writeQueued() {
    QSqlDatabase db = database(m_connection);
    QSqlQuery upsert(db);
    QSqlQuery remove(db);
    bool ok = upsert.prepare(QString::fromLatin1(upsertParcel)) &&
              remove.prepare(QStringLiteral("DELETE FROM parcel WHERE number = ? AND company = ?"));
    for (auto it = m_rows.cbegin(); ok && it != m_rows.cend(); ++it) {
        if (it.value()) {
            bindState(upsert, it.key(), *it.value());
            ok = upsert.exec();
        } else {
            remove.addBindValue(text(it.key().number));
            remove.addBindValue(text(it.key().company));
            ok = remove.exec();
        }
    }
    if (ok && m_ledger) {
        QSqlQuery ledger(db);
        ok = ledger.prepare(QStringLiteral("INSERT OR REPLACE INTO ledger VALUES (1, ?, ?, ?)"));
        ledger.addBindValue(text(m_ledger->backend));
        ledger.addBindValue(text(m_ledger->day.isValid() ? m_ledger->day.toString(Qt::ISODate) : QString()));
        ledger.addBindValue(m_ledger->spent);
        ok = ok && ledger.exec();
    }
    return ok;
}

bool WatchStore::flush() {
    if (!pending())
        return true;
    if (!isOpen())
        return false;
    QSqlDatabase db = database(m_connection);
    if (!db.transaction())
        return false;
    if (!writeQueued() || !db.commit()) {
        db.rollback();
        return false; // kept queued: the next change tries again
    }
    ++m_transactions;
    m_rows.clear();
    m_ledger.reset();
    return true;
}

} // namespace zjx
