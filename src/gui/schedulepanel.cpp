#include "gui/schedulepanel.h"

#include "gui/panelcontrols.h"
#include "gui/platform/messagebox.h"
#include "schedule/requeryschedule.h"
#include "schedule/schedule.h"

#include <QGroupBox>

namespace zjx {

using namespace controls;

SchedulePanel::SchedulePanel(RequerySchedule& schedule, QWidget* window)
    : FloatingPanel(QStringLiteral("schedulePanel"), QStringLiteral("相关设置"), QSize(340, 156), window),
      m_schedule(schedule) {
    const QRect groupRect(12, 36, 316, 108);
    m_timedGroup = new QGroupBox(QStringLiteral("定时查询功能"), this);
    m_timedGroup->setObjectName(QStringLiteral("timedGroup"));
    m_timedGroup->setGeometry(groupRect);
    caption(m_timedGroup, QStringLiteral("请设定时间："), QRect(12, 30, 84, 26));
    m_hourBox = chooser(m_timedGroup, QStringLiteral("hourBox"), QStringLiteral("时"), QRect(98, 30, 70, 26));
    caption(m_timedGroup, QStringLiteral("时"), QRect(172, 30, 18, 26));
    m_minuteBox = chooser(m_timedGroup, QStringLiteral("minuteBox"), QStringLiteral("分"), QRect(194, 30, 70, 26));
    caption(m_timedGroup, QStringLiteral("分"), QRect(268, 30, 18, 26));
    m_timedButton = button(m_timedGroup, QStringLiteral("timedButton"), schedule::timedIdleCaption, QRect(12, 66, 292, 32));
    QPushButton* toLoop =
        button(m_timedGroup, QStringLiteral("loopGroupButton"), QStringLiteral("循环查询"), QRect(226, 0, 78, 22));

    m_loopGroup = new QGroupBox(QStringLiteral("循环查询功能"), this);
    m_loopGroup->setObjectName(QStringLiteral("loopGroup"));
    m_loopGroup->setGeometry(groupRect);
    caption(m_loopGroup, QStringLiteral("每隔"), QRect(12, 30, 32, 26));
    m_intervalBox = chooser(m_loopGroup, QStringLiteral("intervalBox"), QStringLiteral("间隔分钟"), QRect(46, 30, 80, 26));
    caption(m_loopGroup, QStringLiteral("分钟自动进行一次查询"), QRect(132, 30, 170, 26));
    m_loopButton = button(m_loopGroup, QStringLiteral("loopButton"), schedule::loopIdleCaption, QRect(12, 66, 292, 32));
    QPushButton* toTimed =
        button(m_loopGroup, QStringLiteral("timedGroupButton"), QStringLiteral("定时查询"), QRect(226, 0, 78, 22));
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

void SchedulePanel::toggleTimed() {
    if (m_timedButton->text() == schedule::timedIdleCaption) {
        if (!m_hasParcel()) {
            MessageBox::information(window(), QStringLiteral("请先查询单号后在使用定时功能!"));
            return;
        }
        if (m_hourBox->currentText().isEmpty() || m_minuteBox->currentText().isEmpty()) {
            MessageBox::information(window(), QStringLiteral("请设定查询时间!"));
            return;
        }
        setHold(true, m_hourBox, m_minuteBox);
        m_timedButton->setText(schedule::timedArmedCaption);
        m_schedule.armTimed();
    } else if (m_timedButton->text() == schedule::timedArmedCaption) {
        m_timedButton->setText(schedule::timedIdleCaption);
        m_schedule.disarmTimed();
        setHold(false, m_hourBox, m_minuteBox);
    }
}

void SchedulePanel::endTimed() {
    m_timedButton->setText(schedule::timedIdleCaption);
    setHold(false, m_hourBox, m_minuteBox);
}

void SchedulePanel::toggleLoop() {
    if (m_loopButton->text() == schedule::loopIdleCaption) {
        if (!m_hasParcel()) {
            MessageBox::information(window(), QStringLiteral("请先查询单号后在使用本功能!"));
            return;
        }
        if (m_intervalBox->currentText().isEmpty()) {
            MessageBox::information(window(), QStringLiteral("请先设定时间!"));
            return;
        }
        setHold(true, m_intervalBox);
        m_loopButton->setText(schedule::loopRunningCaption);
        m_schedule.startLoop();
    } else if (m_loopButton->text() == schedule::loopRunningCaption) {
        m_loopButton->setText(schedule::loopIdleCaption);
        m_schedule.stopLoop();
        setHold(false, m_intervalBox);
    }
}

void SchedulePanel::showLoopGroup() {
    if (m_timedButton->text() == schedule::timedArmedCaption &&
        MessageBox::question(window(), QStringLiteral("当前正在定时查询,是否终止?")) != MessageBox::Answer::Yes)
        return;
    m_loopGroup->show();
    m_loopGroup->move(m_timedGroup->pos());
    m_timedGroup->hide();
    m_timedButton->setText(schedule::timedIdleCaption);
    m_schedule.disarmTimed();
    setHold(false, m_hourBox, m_minuteBox);
}

void SchedulePanel::showTimedGroup() {
    if (m_loopButton->text() == schedule::loopRunningCaption &&
        MessageBox::question(window(), QStringLiteral("当前正在循环查询,是否终止?")) != MessageBox::Answer::Yes)
        return;
    m_timedGroup->show();
    m_timedGroup->move(m_loopGroup->pos());
    m_loopGroup->hide();
    m_loopButton->setText(schedule::loopIdleCaption);
    m_schedule.stopLoop();
    setHold(false, m_intervalBox);
}

} // namespace zjx
