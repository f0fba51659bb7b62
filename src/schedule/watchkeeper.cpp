#include "schedule/watchkeeper.h"

#include "book/bookkeeper.h"
#include "book/parcelrecord.h"
#include "core/atomicfile.h"
#include "core/regularfile.h"
#include "platform/environment.h"
#include "schedule/newsnotice.h"
#include "watch/bookwatch.h"
#include "watch/newsbatch.h"
#include "watch/statefile.h"
#include "watch/watchcost.h"
#include "watch/watchstore.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>
#include <utility>

namespace zjx {
namespace {

// The watch's choices stand in the settings file's [watch] group, each written when it changes.
const QString watchGroup = QStringLiteral("watch");

void storeWatchChoice(const QString& settingsPath, const QString& key, const QVariant& value) {
    QSettings settings(settingsPath, QSettings::IniFormat);
    settings.beginGroup(watchGroup);
    settings.setValue(key, value);
}

ParcelKey keyOf(const QString& record) {
    const ParcelFields f = ParcelRecord::split(record);
    return {f.number, f.company};
}

} // namespace

WatchKeeper::WatchKeeper(BookKeeper& keeper, std::function<QString()> host, QObject* parent)
    : QObject(parent), m_keeper(keeper) {
    // A damaged database is kept aside by the store; the knowledge starts again from nothing.
    m_store = new WatchStore(this);
    WatchStore::Opened opened = m_store->open(statePath(), legacyStatePath());
    m_stateProblem = opened.error;
    m_states.replaceAll(std::move(opened.states));
    m_states.setLedger(opened.ledger);
    m_archive.setPath(ParcelArchive::pathBeside(keeper.book().path()));
    m_archive.load();
    // A move between the book and the archive that a crash cut short is settled now.
    (void)m_archive.reconcile(keeper.records());

    // Each change is its parcel's row; what changes in one moment is one transaction.
    connect(&m_states, &ParcelStates::changed, m_store,
            [this](const ParcelKey& key) { m_store->put(key, m_states.find(key)); });
    connect(&m_states, &ParcelStates::ledgerChanged, m_store, [this] { m_store->putLedger(m_states.ledger()); });

    m_watch = new BookWatch(m_states, this);
    m_watch->setHostSource(std::move(host));
    connect(m_watch, &BookWatch::news, this, &WatchKeeper::tellNews);
    ParcelBook* book = &keeper.book();
    for (auto signal : {&ParcelBook::notesAppended, &ParcelBook::notesAdopted})
        connect(book, signal, this, &WatchKeeper::bookChangedSoon);
    connect(book, &ParcelBook::noteReplaced, this, &WatchKeeper::bookChangedSoon);
    connect(book, &ParcelBook::noteRemoved, this, &WatchKeeper::bookChangedSoon);
    connect(book, &ParcelBook::notesCleared, this, &WatchKeeper::bookChangedSoon);

    QSettings settings(settingsPath(), QSettings::IniFormat);
    settings.beginGroup(watchGroup);
    m_chime = settings.value(QStringLiteral("chime"), true).toBool();
    m_watch->setMinutes(settings.value(QStringLiteral("minutes"), WatchPlan::defaultMinutes).toInt());
    m_watch->setDailyLimit(settings.value(QStringLiteral("dailyLimit"), defaultDailyLimit).toInt());
    const auto time = [&settings](const QString& key, QTime fallback) {
        const QTime t = QTime::fromString(settings.value(key).toString(), QStringLiteral("HH:mm"));
        return t.isValid() ? t : fallback;
    };
    m_quietFrom = time(QStringLiteral("quietFrom"), QTime(22, 0));
    m_quietTo = time(QStringLiteral("quietTo"), QTime(7, 0));
    m_watch->setQuietHours(m_quietFrom, m_quietTo);
    bookChanged();
    m_watch->setEnabled(settings.value(QStringLiteral("enabled"), false).toBool());
}

WatchKeeper::~WatchKeeper() {
    // A change of the last moments still reaches the database.
    saveStates();
}

QString WatchKeeper::statePath() const {
    return WatchStore::pathBeside(m_keeper.book().path());
}

QString WatchKeeper::legacyStatePath() const {
    return StateFile::pathBeside(m_keeper.book().path());
}

QString WatchKeeper::settingsPath() const {
    const QString path = QFileInfo(m_keeper.book().path()).dir().filePath(QStringLiteral("zjx-settings.ini"));
    // Qt's settings would open a FIFO in the file's place and wait for good: such a file is left
    // alone and the settings of this run are kept in memory only (an empty name does that).
    QString problem;
    if (!regularOrMissing(path, &problem)) {
        static bool told = false;
        if (!std::exchange(told, true))
            qWarning("zjx: cannot use the settings file %s: it %s; settings are not kept", qPrintable(path),
                     qPrintable(problem));
        return {};
    }
    // Qt's settings keep the mode the file has: it is the user's alone before they write it.
    keepToOwner(path);
    return path;
}

bool WatchKeeper::saveStates() {
    return m_store->flush();
}

void WatchKeeper::bookChangedSoon() {
    // Many changes of one moment (a bulk action removes one record after another) are one.
    if (std::exchange(m_bookChangePending, true))
        return;
    QTimer::singleShot(0, this, [this] {
        if (m_bookChangePending)
            bookChanged();
    });
}

void WatchKeeper::bookChanged() {
    m_bookChangePending = false;
    QList<ParcelKey> keys;
    keys.reserve(m_keeper.records().size());
    for (const QString& record : m_keeper.records())
        keys.append(keyOf(record));
    m_watch->setParcels(keys);
    Q_EMIT changed();
}

void WatchKeeper::setEnabled(bool on) {
    if (on == m_watch->enabled())
        return;
    m_watch->setEnabled(on);
    storeWatchChoice(settingsPath(), QStringLiteral("enabled"), on);
    Q_EMIT enabledChanged(on);
}

void WatchKeeper::setMinutes(int minutes) {
    m_watch->setMinutes(minutes);
    storeWatchChoice(settingsPath(), QStringLiteral("minutes"), minutes);
}

void WatchKeeper::setChime(bool on) {
    m_chime = on;
    storeWatchChoice(settingsPath(), QStringLiteral("chime"), on);
}

void WatchKeeper::setDailyLimit(int limit) {
    m_watch->setDailyLimit(limit);
    storeWatchChoice(settingsPath(), QStringLiteral("dailyLimit"), limit);
}

void WatchKeeper::setQuietHours(const QTime& from, const QTime& to) {
    m_quietFrom = from;
    m_quietTo = to;
    m_watch->setQuietHours(from, to);
    storeWatchChoice(settingsPath(), QStringLiteral("quietFrom"), from.toString(QStringLiteral("HH:mm")));
    storeWatchChoice(settingsPath(), QStringLiteral("quietTo"), to.toString(QStringLiteral("HH:mm")));
}

void WatchKeeper::tellNews(const QList<ParcelNews>& news) {
    QList<NewsNotice> notices;
    for (const ParcelNews& n : news) {
        const ParcelState state = m_states.value(n.key);
        notices.append(NewsNotice::make(n.key.number, n.key.company, m_keeper.noteOf(n.key.number, n.key.company),
                                        state.state, state.latest.time, state.latest.progress,
                                        n.news == News::Delivered, state.pickupCode(),
                                        state.estimateText(Clock::now().date())));
    }
    if (notices.isEmpty())
        return;
    if (notices.size() >= NewsBatch::groupedFrom) {
        QStringList lines;
        m_groupedNews.clear();
        for (int i = 0; i < notices.size(); ++i) {
            const QString code = m_states.value(news.at(i).key).pickupCode();
            lines << notices.at(i).summary + (code.isEmpty() ? QString() : QStringLiteral(" · 取件码 ") + code);
            m_groupedNews << news.at(i).key;
        }
        notices = {NewsNotice::grouped(lines)};
    }
    Q_EMIT this->news(notices, m_chime);
}

void WatchKeeper::ask(const QStringList& records) {
    QList<ParcelKey> keys;
    for (const QString& record : records)
        keys.append(keyOf(record));
    m_watch->askNow(keys);
}

namespace {

// Where each of `records` stands in `list` (a record listed twice: each place once); the ones not
// there are left out.
QList<int> placesOf(const QStringList& list, const QStringList& records) {
    QHash<QString, QList<int>> places;
    places.reserve(list.size());
    for (int i = list.size() - 1; i >= 0; --i)
        places[list.at(i)].append(i);
    QList<int> found;
    found.reserve(records.size());
    for (const QString& record : records)
        if (auto it = places.find(record); it != places.end() && !it->isEmpty())
            found.append(it->takeLast());
    return found;
}

} // namespace

void WatchKeeper::archive(const QStringList& records) {
    if (const QList<int> places = placesOf(m_keeper.records(), records); !places.isEmpty())
        (void)m_keeper.storeSaved(m_archive.archive(m_keeper.book(), places));
}

void WatchKeeper::restore(const QStringList& records) {
    if (const QList<int> places = placesOf(m_archive.records(), records); !places.isEmpty())
        (void)m_keeper.storeSaved(m_archive.restore(m_keeper.book(), places));
}

void WatchKeeper::remove(const QStringList& records, bool archived) {
    if (archived) {
        if (const QList<int> places = placesOf(m_archive.records(), records); !places.isEmpty())
            (void)m_keeper.storeSaved(m_archive.remove(places));
    } else if (const QList<int> places = placesOf(m_keeper.records(), records); !places.isEmpty()) {
        (void)m_keeper.storeSaved(m_keeper.book().remove(places));
    }
}

} // namespace zjx
