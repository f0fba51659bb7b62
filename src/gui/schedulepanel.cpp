#include "gui/schedulepanel.h"

#include "gui/panelcontrols.h"
#include "gui/platform/messagebox.h"
#include "schedule/requeryschedule.h"
#include "schedule/schedule.h"

#include <QGroupBox>

namespace zjx {

using namespace controls;

namespace {

// The two query groups take turns at one place, each with its start button along the bottom and,
// in its top right corner, the button that swaps it for the other.
const QRect startRect(12, 66, 292, 32);
const QRect swapRect(226, 0, 78, 22);

QGroupBox* queryGroup(QWidget* panel, const QString& name, const QString& title) {
    auto* group = new QGroupBox(title, panel);
    group->setObjectName(name);
    group->setGeometry(12, 36, 316, 108);
    return group;
}

} // namespace

SchedulePanel::SchedulePanel(RequerySchedule& schedule, QWidget* window)
    : FloatingPanel(QStringLiteral("schedulePanel"), QStringLiteral("相关设置"), QSize(340, 156), window),
      m_schedule(schedule) {
    m_timedGroup = queryGroup(this, QStringLiteral("timedGroup"), QStringLiteral("定时查询功能"));
    caption(m_timedGroup, QStringLiteral("请设定时间："), QRect(12, 30, 84, 26));
    m_hourBox = chooser(m_timedGroup, QStringLiteral("hourBox"), QStringLiteral("时"), QRect(98, 30, 70, 26));
    caption(m_timedGroup, QStringLiteral("时"), QRect(172, 30, 18, 26));
    m_minuteBox = chooser(m_timedGroup, QStringLiteral("minuteBox"), QStringLiteral("分"), QRect(194, 30, 70, 26));
    caption(m_timedGroup, QStringLiteral("分"), QRect(268, 30, 18, 26));
    m_timedButton = button(m_timedGroup, QStringLiteral("timedButton"), schedule::timedIdleCaption, startRect);
    QPushButton* toLoop = button(m_timedGroup, QStringLiteral("loopGroupButton"), QStringLiteral("循环查询"), swapRect);

    m_loopGroup = queryGroup(this, QStringLiteral("loopGroup"), QStringLiteral("循环查询功能"));
    caption(m_loopGroup, QStringLiteral("每隔"), QRect(12, 30, 32, 26));
    m_intervalBox = chooser(m_loopGroup, QStringLiteral("intervalBox"), QStringLiteral("间隔分钟"), QRect(46, 30, 80, 26));
    caption(m_loopGroup, QStringLiteral("分钟自动进行一次查询"), QRect(132, 30, 170, 26));
    m_loopButton = button(m_loopGroup, QStringLiteral("loopButton"), schedule::loopIdleCaption, startRect);
    QPushButton* toTimed =
        button(m_loopGroup, QStringLiteral("timedGroupButton"), QStringLiteral("定时查询"), swapRect);
    m_loopGroup->hide();

    m_hourBox->addItem(QStringLiteral("0"));
    for (int h = 1; h <= 23; ++h)
        m_hourBox->addItem(QString::number(h));
    for (int m = 0; m <= 59; ++m)
        m_minuteBox->addItem(QString::number(m));
    for (int n = 1; n <= 360; ++n)
        m_intervalBox->addItem(QString::number(n));
    m_hourBox->setCurrentIndex(0);
    m_minuteBox->setCurrentIndex(0);
    m_intervalBox->setCurrentIndex(-1);

    // The schedule reads the choosers as they stand at each tick.
    const auto timedTime = [this] { m_schedule.setTimedTime(m_hourBox->currentText(), m_minuteBox->currentText()); };
    connect(m_hourBox, &QComboBox::currentTextChanged, this, timedTime);
    connect(m_minuteBox, &QComboBox::currentTextChanged, this, timedTime);
    connect(m_intervalBox, &QComboBox::currentTextChanged, &m_schedule, &RequerySchedule::setLoopInterval);
    timedTime();
    m_schedule.setLoopInterval(m_intervalBox->currentText());

    connect(m_timedButton, &QPushButton::clicked, this, &SchedulePanel::toggleTimed);
    connect(m_loopButton, &QPushButton::clicked, this, &SchedulePanel::toggleLoop);
    connect(toLoop, &QPushButton::clicked, this, &SchedulePanel::showLoopGroup);
    connect(toTimed, &QPushButton::clicked, this, &SchedulePanel::showTimedGroup);
    connect(&m_schedule, &RequerySchedule::timedEnded, this, &SchedulePanel::endTimed);
}

bool SchedulePanel::timedGroupShown() const {
    return !m_timedGroup->isHidden();
}

QString SchedulePanel::timedCaption() const {
    return m_timedButton->text();
}

QString SchedulePanel::loopCaption() const {
    return m_loopButton->text();
}

void SchedulePanel::setHold(bool held, QComboBox* chooser, QComboBox* otherChooser) {
    Q_EMIT holdChanged(held);
    for (QComboBox* own : {chooser, otherChooser})
        if (own)
            own->setEnabled(!held);
}

bool SchedulePanel::mayStart(const QString& noParcelText, bool timeSet, const QString& noTimeText) {
    if (!m_hasParcel()) {
        MessageBox::information(window(), noParcelText);
        return false;
    }
    if (!timeSet) {
        MessageBox::information(window(), noTimeText);
        return false;
    }
    return true;
}

void SchedulePanel::toggleTimed() {
    if (m_timedButton->text() == schedule::timedIdleCaption) {
        const bool timeSet = !m_hourBox->currentText().isEmpty() && !m_minuteBox->currentText().isEmpty();
        if (!mayStart(QStringLiteral("请先查询单号后在使用定时功能!"), timeSet, QStringLiteral("请设定查询时间!")))
            return;
        setHold(true, m_hourBox, m_minuteBox);
        m_timedButton->setText(schedule::timedArmedCaption);
        m_schedule.armTimed();
    } else if (m_timedButton->text() == schedule::timedArmedCaption) {
        disarmTimed();
    }
}

void SchedulePanel::disarmTimed() {
    m_schedule.disarmTimed();
    endTimed();
}

void SchedulePanel::endTimed() {
    m_timedButton->setText(schedule::timedIdleCaption);
    setHold(false, m_hourBox, m_minuteBox);
}

void SchedulePanel::toggleLoop() {
    if (m_loopButton->text() == schedule::loopIdleCaption) {
        const bool timeSet = !m_intervalBox->currentText().isEmpty();
        if (!mayStart(QStringLiteral("请先查询单号后在使用本功能!"), timeSet, QStringLiteral("请先设定时间!")))
            return;
        setHold(true, m_intervalBox);
        m_loopButton->setText(schedule::loopRunningCaption);
        m_schedule.startLoop();
    } else if (m_loopButton->text() == schedule::loopRunningCaption) {
        stopLoop();
    }
}

void SchedulePanel::stopLoop() {
    m_loopButton->setText(schedule::loopIdleCaption);
    m_schedule.stopLoop();
    setHold(false, m_intervalBox);
}

bool SchedulePanel::swapGroups(QGroupBox* shown, QGroupBox* other, bool running, const QString& question) {
    if (running && MessageBox::question(window(), question) != MessageBox::Answer::Yes)
        return false;
    other->show();
    other->move(shown->pos());
    shown->hide();
    return true;
}

void SchedulePanel::showLoopGroup() {
    if (swapGroups(m_timedGroup, m_loopGroup, m_timedButton->text() == schedule::timedArmedCaption,
                   QStringLiteral("当前正在定时查询,是否终止?")))
        disarmTimed();
}

void SchedulePanel::showTimedGroup() {
    if (swapGroups(m_loopGroup, m_timedGroup, m_loopButton->text() == schedule::loopRunningCaption,
                   QStringLiteral("当前正在循环查询,是否终止?")))
        stopLoop();
}

} // namespace zjx
