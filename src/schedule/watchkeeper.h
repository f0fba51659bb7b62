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
class SaveCadence;
struct ParcelNews;
struct NewsNotice;

// What is known per parcel and the watch of the whole book, beside the store file: the state file
// (saved shortly after each change), the archive of put-away parcels, and the watch's settings.
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
    QString statePath() const;
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
    void remove(const QString& record, bool archived);
    bool saveStates(); // the per-parcel knowledge to its file now
    void bookChanged(); // the watch follows the book

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
    SaveCadence* m_stateSaver = nullptr;
    bool m_chime = true;
    QTime m_quietFrom;
    QTime m_quietTo;
    QList<ParcelKey> m_groupedNews;
};

} // namespace zjx
