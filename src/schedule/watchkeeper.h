#pragma once

#include "book/archive.h"
#include "watch/news.h"
#include "watch/parcelkey.h"
#include "watch/parcelstates.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTime>
#include <functional>

namespace zjx {

class BookKeeper;
class BookWatch;
class WatchStore;
struct ParcelNews;
struct NewsNotice;

// What is known per parcel and the watch of the whole book, beside the store file: the watch's
// database (each change written as it happens, one row at a time), the archive of put-away parcels,
// and the watch's settings.
class WatchKeeper : public QObject {
    Q_OBJECT
public:
    // `host` gives the tracking service's host[:port] when the watch asks.
    WatchKeeper(BookKeeper& keeper, std::function<QString()> host, QObject* parent = nullptr);
    ~WatchKeeper() override;

    ParcelStates& parcelStates() { return m_states; }
    BookWatch& bookWatch() { return *m_watch; }
    const QStringList& archivedRecords() const { return m_archive.records(); }
    QString archivePath() const { return m_archive.path(); }
    QString statePath() const; // the watch's database
    QString legacyStatePath() const; // parcels.json of earlier versions, taken in once
    QString settingsPath() const; // the overview's size and columns and the watch's settings

    bool chime() const { return m_chime; }
    void setEnabled(bool on);
    void setMinutes(int minutes);
    void setChime(bool on);
    void setDailyLimit(int limit);
    void setQuietHours(const QTime& from, const QTime& to);
    QTime quietFrom() const { return m_quietFrom; }
    QTime quietTo() const { return m_quietTo; }
    const QList<ParcelKey>& groupedNews() const { return m_groupedNews; } // the parcels of the last grouped notice

    void ask(const QStringList& records); // the watch asks about these parcels now
    void archive(const QStringList& records);
    void restore(const QStringList& records);
    // Each a single change however many records: each file written once, the watch re-planned once.
    void remove(const QStringList& records, bool archived);
    bool saveStates(); // what is queued for the database, written now
    QString stateProblem() const { return m_stateProblem; } // why the database could not be opened
    void bookChanged(); // the watch follows the book
    void bookChangedSoon(); // ... once control returns to the event loop, however often called before

Q_SIGNALS:
    // The notices to show for news the watch found: one per parcel, or one for them all when
    // several came together.
    void news(const QList<NewsNotice>& notices, bool chime);
    void changed(); // the book or the archive changed: the overview follows
    void enabledChanged(bool on); // the watch of the whole book switched on or off

private:
    void tellNews(const QList<ParcelNews>& news);

    BookKeeper& m_keeper;
    ParcelStates m_states;
    ParcelArchive m_archive;
    BookWatch* m_watch = nullptr;
    WatchStore* m_store = nullptr;
    QString m_stateProblem;
    bool m_chime = true;
    QTime m_quietFrom;
    QTime m_quietTo;
    QList<ParcelKey> m_groupedNews;
    bool m_bookChangePending = false;
};

} // namespace zjx
