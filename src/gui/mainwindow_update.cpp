#include "gui/mainwindow.h"

#include "book/parcelrecord.h"
#include "gui/platform/alertplayer.h"
#include "gui/platform/desktopnotifier.h"
#include "platform/environment.h"
#include "schedule/newsnotice.h"
#include "schedule/updateverdict.h"
#include "watch/pickupcode.h"

#include <QLabel>
#include <QTreeWidget>

namespace zjx {

void MainWindow::gxtj() {
    const QTreeWidgetItem* latest = ListView1->topLevelItem(0);
    const Sighting shown{Label12[2]->text(),
                         latest ? LatestEvent{latest->text(ColumnSj), latest->text(ColumnWl)} : LatestEvent{},
                         m_answerEstimate};
    const ParcelKey key{m_askedNumber, m_askedCompany};
    // The user who is looking at the window sees the verdict; only news found while the window is
    // buried, minimised or hidden goes to the desktop.
    const bool away = !isVisible() || isMinimized() || !isActiveWindow();
    UpdateVerdict verdict;
    if (m_askedAutomatically) {
        const ParcelState* known = m_parcelStates.find(key);
        verdict = UpdateVerdict::forRequery(known ? known->sighting() : std::nullopt, shown);
        // The news is told here; whoever asks about this parcel next compares with it.
        (void)m_parcelStates.observe(key, shown, Clock::now(), ParcelStates::Asker::Automatic, m_answerBackend);
        if (!away)
            m_parcelStates.markSeen(key);
    } else {
        verdict = UpdateVerdict::judge(lastProgressCount, progressCount, shown.state);
        (void)m_parcelStates.observe(key, shown, Clock::now(), ParcelStates::Asker::User, m_answerBackend);
    }
    Label12[3]->setText(verdict.text());
    if (verdict.updated) {
        setLabelColour(Label12[3], QColor(255, 0, 0));
        W1->setSource(ProgramFolder::path() + QStringLiteral("/ts.mp3"));
        // A query the user started is looked at: the desktop is told nothing of it.
        if (m_askedAutomatically && away)
            notifyNews(verdict.delivered);
    } else {
        setLabelColour(Label12[3], QColor(255, 255, 255));
    }
}

void MainWindow::notifyNews(bool delivered) {
    // The parcel is named by its note in the book.
    QString note;
    for (const QString& record : std::as_const(Combo6)) {
        const ParcelFields fields = ParcelRecord::split(record);
        if (fields.number == m_askedNumber && fields.company == m_askedCompany) {
            note = fields.note;
            break;
        }
    }
    const QTreeWidgetItem* latest = ListView1->topLevelItem(0);
    const QString progress = latest ? latest->text(ColumnWl) : QString();
    const NewsNotice notice = NewsNotice::make(
        m_askedNumber, m_askedCompany, note, Label12[2]->text(), latest ? latest->text(ColumnSj) : QString(), progress,
        delivered, Label12[2]->text() == deliveredState ? QString() : findPickupCode(progress), estimateLabel->text());
    if (!m_notifier) {
        m_notifier = new DesktopNotifier(this);
        connect(m_notifier, &DesktopNotifier::activated, this, &MainWindow::noticeClicked);
    }
    m_notifier->notify(notice.key, notice.summary, notice.body);
}

void MainWindow::bringToFront() {
    // Restoring through the state keeps a maximised window maximised.
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

} // namespace zjx
