#include "schedule/watchkeeper.h"

#include "book/bookkeeper.h"
#include "book/parcelrecord.h"
#include "schedule/newsnotice.h"
#include "watch/bookwatch.h"
#include "watch/statefile.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace zjx {
namespace {

const QString watchOnKey = QStringLiteral("watch/enabled");
const QString watchMinutesKey = QStringLiteral("watch/minutes");
const QString watchChimeKey = QStringLiteral("watch/chime");

ParcelKey keyOf(const QString& record) {
    const ParcelFields f = ParcelRecord::split(record);
    return {f.number, f.company};
}

} // namespace

WatchKeeper::WatchKeeper(BookKeeper& keeper, std::function<QString()> host, QObject* parent)
    : QObject(parent), m_keeper(keeper) {
    // A damaged state file is kept aside by the loader; the knowledge starts again from nothing.
    m_states.replaceAll(StateFile::load(statePath()).states);
    m_archive.setPath(ParcelArchive::pathBeside(keeper.book().path()));
    m_archive.load();
    // A move between the book and the archive that a crash cut short is settled now.
    (void)m_archive.reconcile(keeper.records());

    m_stateSaver.setSingleShot(true);
    m_stateSaver.setInterval(300);
    connect(&m_stateSaver, &QTimer::timeout, this, &WatchKeeper::saveStates);
    connect(&m_states, &ParcelStates::changed, &m_stateSaver, qOverload<>(&QTimer::start));

    m_watch = new BookWatch(m_states, this);
    m_watch->setHostSource(std::move(host));
    connect(m_watch, &BookWatch::news, this, &WatchKeeper::tellNews);
    ParcelBook* book = &keeper.book();
    for (auto signal : {&ParcelBook::notesAppended, &ParcelBook::notesAdopted})
        connect(book, signal, this, &WatchKeeper::bookChanged, Qt::QueuedConnection);
    connect(book, &ParcelBook::noteReplaced, this, &WatchKeeper::bookChanged, Qt::QueuedConnection);
    connect(book, &ParcelBook::noteRemoved, this, &WatchKeeper::bookChanged, Qt::QueuedConnection);
    connect(book, &ParcelBook::notesCleared, this, &WatchKeeper::bookChanged, Qt::QueuedConnection);

    const QSettings settings(settingsPath(), QSettings::IniFormat);
    m_chime = settings.value(watchChimeKey, true).toBool();
    m_watch->setMinutes(settings.value(watchMinutesKey, WatchPlan::defaultMinutes).toInt());
    bookChanged();
    m_watch->setEnabled(settings.value(watchOnKey, false).toBool());
}

WatchKeeper::~WatchKeeper() {
    // A change of the last moments still reaches the state file.
    if (m_stateSaver.isActive())
        saveStates();
}

QString WatchKeeper::statePath() const {
    return StateFile::pathBeside(m_keeper.book().path());
}

QString WatchKeeper::settingsPath() const {
    return QFileInfo(m_keeper.book().path()).dir().filePath(QStringLiteral("zjx-settings.ini"));
}

bool WatchKeeper::saveStates() {
    m_stateSaver.stop();
    return StateFile::save(statePath(), m_states.all()).ok();
}

void WatchKeeper::bookChanged() {
    QList<ParcelKey> keys;
    keys.reserve(m_keeper.records().size());
    for (const QString& record : m_keeper.records())
        keys.append(keyOf(record));
    m_watch->setParcels(keys);
    Q_EMIT changed();
}

void WatchKeeper::setEnabled(bool on) {
    m_watch->setEnabled(on);
    QSettings(settingsPath(), QSettings::IniFormat).setValue(watchOnKey, on);
}

void WatchKeeper::setMinutes(int minutes) {
    m_watch->setMinutes(minutes);
    QSettings(settingsPath(), QSettings::IniFormat).setValue(watchMinutesKey, minutes);
}

void WatchKeeper::setChime(bool on) {
    m_chime = on;
    QSettings(settingsPath(), QSettings::IniFormat).setValue(watchChimeKey, on);
}

void WatchKeeper::tellNews(const ParcelKey& key, News news) {
    const ParcelState state = m_states.value(key);
    const NewsNotice notice = NewsNotice::make(key.number, key.company, m_keeper.noteOf(key.number, key.company),
                                               state.state, state.latest.time, state.latest.progress,
                                               news == News::Delivered);
    Q_EMIT this->news(notice, m_chime);
}

void WatchKeeper::ask(const QStringList& records) {
    QList<ParcelKey> keys;
    for (const QString& record : records)
        keys.append(keyOf(record));
    m_watch->askNow(keys);
}

void WatchKeeper::archive(const QStringList& records) {
    for (const QString& record : records) {
        const int i = int(m_keeper.records().indexOf(record));
        if (i >= 0 && !m_keeper.storeSaved(m_archive.archive(m_keeper.book(), i)))
            break;
    }
}

void WatchKeeper::restore(const QStringList& records) {
    for (const QString& record : records) {
        const int i = int(m_archive.records().indexOf(record));
        if (i >= 0 && !m_keeper.storeSaved(m_archive.restore(m_keeper.book(), i)))
            break;
    }
}

void WatchKeeper::remove(const QString& record, bool archived) {
    if (archived) {
        const int i = int(m_archive.records().indexOf(record));
        if (i >= 0)
            (void)m_keeper.storeSaved(m_archive.remove(i));
    } else {
        const int i = int(m_keeper.records().indexOf(record));
        if (i >= 0)
            (void)m_keeper.storeSaved(m_keeper.book().remove(i));
    }
}

} // namespace zjx
