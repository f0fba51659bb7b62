#include "gui/mainwindow.h"
#include "platform/environment.h"

#include "book/parcelrecord.h"
#include "core/atomicfile.h"
#include "gui/overviewwindow.h"
#include "gui/platform/alertplayer.h"
#include "gui/platform/desktopnotifier.h"
#include "gui/platform/messagebox.h"
#include "schedule/newsnotice.h"
#include "watch/bookwatch.h"
#include "watch/savecadence.h"
#include "watch/statefile.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTimer>

namespace zjx {
namespace {

const QString watchOnKey = QStringLiteral("watch/enabled");
const QString watchMinutesKey = QStringLiteral("watch/minutes");
const QString watchChimeKey = QStringLiteral("watch/chime");
const QString watchLimitKey = QStringLiteral("watch/dailyLimit");
const QString watchQuietFromKey = QStringLiteral("watch/quietFrom");
const QString watchQuietToKey = QStringLiteral("watch/quietTo");

ParcelKey keyOf(const QString& record) {
    const ParcelFields f = ParcelRecord::split(record);
    return {f.number, f.company};
}

} // namespace

QString MainWindow::statePath() const {
    return StateFile::pathBeside(book.path());
}

QString MainWindow::settingsPath() const {
    const QString path = QFileInfo(book.path()).dir().filePath(QStringLiteral("zjx-settings.ini"));
    // Qt's settings keep the mode the file has: it is the user's alone before they write it.
    keepToOwner(path);
    return path;
}

void MainWindow::setupWatch() {
    // A damaged state file is kept aside by the loader; the knowledge starts again from nothing.
    StateFile::Loaded loaded = StateFile::load(statePath());
    m_parcelStates.replaceAll(std::move(loaded.states));
    m_parcelStates.setLedger(loaded.ledger);
    m_archive.setPath(ParcelArchive::pathBeside(book.path()));
    m_archive.load();
    // A move between the book and the archive that a crash cut short is settled now.
    (void)m_archive.reconcile(Combo6);

    m_stateSaver = new SaveCadence(
        [this] { return StateFile::save(statePath(), m_parcelStates.all(), m_parcelStates.ledger()).ok(); }, this);
    connect(&m_parcelStates, &ParcelStates::changed, m_stateSaver, &SaveCadence::changed);
    connect(&m_parcelStates, &ParcelStates::ledgerChanged, m_stateSaver, &SaveCadence::changed);

    m_watch = new BookWatch(m_parcelStates, this);
    m_watch->setHostSource([this] { return networkSettings().trackingHost; });
    connect(m_watch, &BookWatch::news, this, &MainWindow::tellWatchNews);
    for (auto signal : {&ParcelBook::notesAppended, &ParcelBook::notesAdopted})
        connect(&book, signal, this, &MainWindow::bookChanged, Qt::QueuedConnection);
    connect(&book, &ParcelBook::noteReplaced, this, &MainWindow::bookChanged, Qt::QueuedConnection);
    connect(&book, &ParcelBook::noteRemoved, this, &MainWindow::bookChanged, Qt::QueuedConnection);
    connect(&book, &ParcelBook::notesCleared, this, &MainWindow::bookChanged, Qt::QueuedConnection);

    const QSettings settings(settingsPath(), QSettings::IniFormat);
    m_watchChime = settings.value(watchChimeKey, true).toBool();
    m_watch->setMinutes(settings.value(watchMinutesKey, WatchPlan::defaultMinutes).toInt());
    m_watch->setDailyLimit(settings.value(watchLimitKey, defaultDailyLimit).toInt());
    const auto time = [&settings](const QString& key, QTime fallback) {
        const QTime t = QTime::fromString(settings.value(key).toString(), QStringLiteral("HH:mm"));
        return t.isValid() ? t : fallback;
    };
    m_quietFrom = time(watchQuietFromKey, QTime(22, 0));
    m_quietTo = time(watchQuietToKey, QTime(7, 0));
    m_watch->setQuietHours(m_quietFrom, m_quietTo);
    bookChanged();
    m_watch->setEnabled(settings.value(watchOnKey, false).toBool());
}

bool MainWindow::saveStates() {
    return m_stateSaver->saveNow();
}

void MainWindow::bookChanged() {
    QList<ParcelKey> keys;
    keys.reserve(Combo6.size());
    for (const QString& record : std::as_const(Combo6))
        keys.append(keyOf(record));
    m_watch->setParcels(keys);
    if (m_overview)
        m_overview->refresh();
}

OverviewWindow* MainWindow::overview() const {
    return m_overview;
}

void MainWindow::openOverview() {
    if (!m_overview)
        m_overview = new OverviewWindow(*this, this);
    m_overview->show();
    m_overview->raise();
    m_overview->activateWindow();
}

void MainWindow::setWatchEnabled(bool on) {
    m_watch->setEnabled(on);
    QSettings(settingsPath(), QSettings::IniFormat).setValue(watchOnKey, on);
}

void MainWindow::setWatchMinutes(int minutes) {
    m_watch->setMinutes(minutes);
    QSettings(settingsPath(), QSettings::IniFormat).setValue(watchMinutesKey, minutes);
}

void MainWindow::setWatchChime(bool on) {
    m_watchChime = on;
    QSettings(settingsPath(), QSettings::IniFormat).setValue(watchChimeKey, on);
}

void MainWindow::setWatchDailyLimit(int limit) {
    m_watch->setDailyLimit(limit);
    QSettings(settingsPath(), QSettings::IniFormat).setValue(watchLimitKey, limit);
}

void MainWindow::setWatchQuietHours(const QTime& from, const QTime& to) {
    m_quietFrom = from;
    m_quietTo = to;
    m_watch->setQuietHours(from, to);
    QSettings settings(settingsPath(), QSettings::IniFormat);
    settings.setValue(watchQuietFromKey, from.toString(QStringLiteral("HH:mm")));
    settings.setValue(watchQuietToKey, to.toString(QStringLiteral("HH:mm")));
}

void MainWindow::tellWatchNews(const QList<ParcelNews>& news) {
    QList<NewsNotice> notices;
    for (const ParcelNews& n : news) {
        const ParcelState state = m_parcelStates.value(n.key);
        QString note;
        for (const QString& record : std::as_const(Combo6))
            if (keyOf(record) == n.key) {
                note = ParcelRecord::note(record);
                break;
            }
        notices.append(NewsNotice::make(n.key.number, n.key.company, note, state.state, state.latest.time,
                                        state.latest.progress, n.news == News::Delivered, state.pickupCode(),
                                        state.estimateText(Clock::now().date())));
    }
    if (notices.isEmpty())
        return;
    if (!m_notifier) {
        m_notifier = new DesktopNotifier(this);
        connect(m_notifier, &DesktopNotifier::activated, this, &MainWindow::noticeClicked);
    }
    if (notices.size() >= NewsBatch::groupedFrom) {
        QStringList lines;
        m_groupedNews.clear();
        for (int i = 0; i < notices.size(); ++i) {
            const QString code = m_parcelStates.value(news.at(i).key).pickupCode();
            lines << notices.at(i).summary + (code.isEmpty() ? QString() : QStringLiteral(" · 取件码 ") + code);
            m_groupedNews << news.at(i).key;
        }
        const NewsNotice grouped = NewsNotice::grouped(lines);
        m_notifier->notify(grouped.key, grouped.summary, grouped.body);
    } else {
        for (const NewsNotice& notice : std::as_const(notices))
            m_notifier->notify(notice.key, notice.summary, notice.body);
    }
    if (m_watchChime)
        W1->setSource(ProgramFolder::path() + QStringLiteral("/ts.mp3"));
}

void MainWindow::noticeClicked(const QString& key) {
    if (key == NewsNotice::groupedKey()) {
        openOverview();
        m_overview->showOnly(m_groupedNews);
        return;
    }
    bringToFront();
    // A notice's key is the number and the company as ParcelKey::text() writes them.
    const qsizetype bar = key.indexOf(u'|');
    const ParcelKey parcel{key.left(bar), key.mid(bar + 1)};
    for (const QString& record : std::as_const(Combo6))
        if (keyOf(record) == parcel) {
            showRecord(record);
            break;
        }
    if (m_overview)
        m_overview->selectParcel(parcel);
}

void MainWindow::showRecord(const QString& record) {
    bringToFront();
    const int i = int(Combo6.indexOf(record));
    // While a timed or loop query holds the selector, the parcel it follows stays chosen.
    if (i < 0 || !Text1->isEnabled())
        return;
    Text1->setCurrentIndex(i);
    Text1_Click();
}

void MainWindow::askRecords(const QStringList& records) {
    QList<ParcelKey> keys;
    for (const QString& record : records)
        keys.append(keyOf(record));
    m_watch->askNow(keys);
}

void MainWindow::archiveRecords(const QStringList& records) {
    for (const QString& record : records) {
        const int i = int(Combo6.indexOf(record));
        if (i >= 0 && !storeSaved(m_archive.archive(book, i)))
            break;
    }
    // The parcel on screen left the book: the first one is chosen, as after a deletion.
    if (!Combo6.contains(chosenRecordText))
        reselectFirst();
    bookChanged();
}

void MainWindow::restoreRecords(const QStringList& records) {
    for (const QString& record : records) {
        const int i = int(m_archive.records().indexOf(record));
        if (i >= 0 && !storeSaved(m_archive.restore(book, i)))
            break;
    }
    bookChanged();
}

void MainWindow::deleteRecord(const QString& record, bool archived) {
    const QString question = QStringLiteral("确定要删除[") + ParcelRecord::note(record) + QStringLiteral("]此单号码?");
    if (MessageBox::question(m_overview ? static_cast<QWidget*>(m_overview) : this, question) !=
        MessageBox::Answer::Yes)
        return;
    if (archived) {
        const int i = int(m_archive.records().indexOf(record));
        if (i >= 0)
            (void)storeSaved(m_archive.remove(i));
    } else {
        const int i = int(Combo6.indexOf(record));
        if (i >= 0)
            (void)storeSaved(book.remove(i));
        if (!Combo6.contains(chosenRecordText))
            reselectFirst();
    }
    bookChanged();
}

} // namespace zjx
