#include "gui/mainwindow.h"

#include "gui/platform/messagebox.h"
#include "platform/environment.h"
#include "platform/httpclient.h"
#include "schedule/schedule.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>

namespace zjx {

void MainWindow::Command8_Click() {
    if (Command8->text() == schedule::timedIdleCaption) {
        if (Text1->currentText().isEmpty()) {
            MessageBox::information(this, QStringLiteral("请先查询单号后在使用定时功能!"));
            return;
        }
        if (Combo2->currentText().isEmpty() || Combo3->currentText().isEmpty()) {
            MessageBox::information(this, QStringLiteral("请设定查询时间!"));
            return;
        }
        setScheduleLock(true, Combo2, Combo3);
        Command8->setText(schedule::timedArmedCaption);
        Timer4->start();
        ++m_modeRuns[int(RequeryMode::Timed)];
    } else if (Command8->text() == schedule::timedArmedCaption) {
        Command8->setText(schedule::timedIdleCaption);
        Timer4->stop();
        setScheduleLock(false, Combo2, Combo3);
        ++m_modeRuns[int(RequeryMode::Timed)];
    }
}

void MainWindow::Command5_Click() {
    if (Command5->text() == schedule::loopIdleCaption) {
        if (Text1->currentText().isEmpty()) {
            MessageBox::information(this, QStringLiteral("请先查询单号后在使用本功能!"));
            return;
        }
        if (Combo4->currentText().isEmpty()) {
            MessageBox::information(this, QStringLiteral("请先设定时间!"));
            return;
        }
        setScheduleLock(true, Combo4);
        Command5->setText(schedule::loopRunningCaption);
        Timer6->start();
        loopMinutes = 0;
        ++m_modeRuns[int(RequeryMode::Loop)];
    } else if (Command5->text() == schedule::loopRunningCaption) {
        Command5->setText(schedule::loopIdleCaption);
        Timer6->stop();
        setScheduleLock(false, Combo4);
        loopMinutes = 0;
        ++m_modeRuns[int(RequeryMode::Loop)];
    }
}

void MainWindow::Command10_Click() {
    if (Command8->text() == schedule::timedArmedCaption &&
        MessageBox::question(this, QStringLiteral("当前正在定时查询,是否终止?")) != MessageBox::Answer::Yes)
        return;
    Frame6->show();
    Frame6->move(Frame4->pos());
    Frame4->hide();
    Command8->setText(schedule::timedIdleCaption);
    Timer4->stop();
    setScheduleLock(false, Combo2, Combo3);
    ++m_modeRuns[int(RequeryMode::Timed)];
}

void MainWindow::Command11_Click() {
    if (Command5->text() == schedule::loopRunningCaption &&
        MessageBox::question(this, QStringLiteral("当前正在循环查询,是否终止?")) != MessageBox::Answer::Yes)
        return;
    Frame4->show();
    Frame4->move(Frame6->pos());
    Frame6->hide();
    Command5->setText(schedule::loopIdleCaption);
    Timer6->stop();
    setScheduleLock(false, Combo4);
    loopMinutes = 0;
    ++m_modeRuns[int(RequeryMode::Loop)];
}

void MainWindow::Timer4_Timer() {
    if (!schedule::timedQueryDue(Clock::now().time(), Combo2->currentText(), Combo3->currentText()))
        return;
    // Stopped before the request: a tick that comes while it waits must not fire a second time.
    Timer4->stop();
    requery(RequeryMode::Timed);
    // A re-query that has to wait keeps the timed query armed (and stoppable) until it runs.
    if (!requeryWaits(RequeryMode::Timed))
        endTimedQuery();
}

void MainWindow::endTimedQuery() {
    if (Command8->text() == schedule::timedArmedCaption)
        Command8_Click();
    Timer4->stop();
}

void MainWindow::Timer6_Timer() {
    // The count restarts before the request, so the minutes that pass while it waits still count.
    if (schedule::countLoopMinute(loopMinutes, Combo4->currentText()))
        requery(RequeryMode::Loop);
}

void MainWindow::Timer5_Timer() {
    Label11[5]->setText(schedule::clockText(Clock::now(), QLocale::system()));
}

void MainWindow::setScheduleLock(bool locked, QWidget* chooser, QWidget* otherChooser) {
    for (QWidget* control : {static_cast<QWidget*>(Text1), static_cast<QWidget*>(Combo1),
                             static_cast<QWidget*>(Command9), static_cast<QWidget*>(Command7),
                             static_cast<QWidget*>(Command3), static_cast<QWidget*>(Command2), chooser, otherChooser})
        if (control)
            control->setEnabled(!locked);
}

bool MainWindow::requeryMustWait() const {
    // A tick can fall into the wait of a blocking request (its event loop runs timers), between an
    // answer and its parse, or into a box a query shows (its event loop runs timers too); a query
    // started then would overwrite the one in flight.
    return queryInFlight() || m_requeryRunning || MessageBox::isShowing();
}

bool MainWindow::requeryWaits(RequeryMode mode) const {
    const std::optional<QuerySession::Requery>& pending = query.pendingRequery();
    return pending && pending->mode == int(mode) && pending->run == m_modeRuns[int(mode)];
}

void MainWindow::requery(RequeryMode mode) {
    if (!requeryMustWait()) {
        runRequery();
        return;
    }
    // Due re-queries of the same parcel that meet while one waits are one and the same.
    const std::optional<QuerySession::Requery>& pending = query.pendingRequery();
    if (pending && pending->run == m_modeRuns[pending->mode])
        return;
    query.setPendingRequery(int(mode), m_modeRuns[int(mode)]);
}

void MainWindow::connectQuery() {
    // Queued: the query, the request, the box or the re-query that ends has returned before the
    // next one starts. The request matters on its own: the version check's is no query.
    connect(&query, &QuerySession::finished, this, &MainWindow::runPendingRequery, Qt::QueuedConnection);
    connect(&HttpClient::instance(), &HttpClient::waitEnded, this, &MainWindow::runPendingRequery,
            Qt::QueuedConnection);
    connect(MessageBox::watch(), &MessageBoxWatch::allClosed, this, &MainWindow::runPendingRequery,
            Qt::QueuedConnection);
}

void MainWindow::runPendingRequery() {
    const std::optional<QuerySession::Requery> pending = query.pendingRequery();
    if (!pending)
        return;
    // Stopped (or stopped and started again) while it waited: the user no longer asks for it.
    if (pending->run != m_modeRuns[pending->mode]) {
        (void)query.takePendingRequery();
        return;
    }
    // Still busy: the end of what it waits for calls again.
    if (requeryMustWait())
        return;
    (void)query.takePendingRequery();
    // The book may have been cleared in the meantime.
    if (!Text1->currentText().isEmpty())
        runRequery();
    if (pending->mode == int(RequeryMode::Timed))
        endTimedQuery();
}

void MainWindow::runRequery() {
    {
        const QScopedValueRollback running(m_requeryRunning, true);
        Text1_Click();
    }
    if (query.pendingRequery())
        QMetaObject::invokeMethod(this, &MainWindow::runPendingRequery, Qt::QueuedConnection);
}

} // namespace zjx
