#pragma once

#include "gui/floatingpanel.h"

#include <functional>

class QComboBox;
class QGroupBox;
class QPushButton;

namespace zjx {

class RequerySchedule;

// The panel "相关设置" (the design's Picture4): the timed query (hour, minute, "开始定时") and the
// loop query (interval in minutes, "开始循环"), one group shown at a time, driving a RequerySchedule.
class SchedulePanel : public FloatingPanel {
    Q_OBJECT
public:
    SchedulePanel(RequerySchedule& schedule, QWidget* window);

    // Whether a parcel is chosen: neither query starts without one.
    void setParcelCheck(std::function<bool()> hasParcel) { m_hasParcel = std::move(hasParcel); }

    void toggleTimed();     // "开始定时" / "关闭定时"
    void toggleLoop();      // "开始循环" / "停止循环"
    void showLoopGroup();   // "循环查询": the timed query stops (after asking, while armed)
    void showTimedGroup();  // "定时查询": the loop query stops (after asking, while running)

    bool timedGroupShown() const;
    QString timedCaption() const;
    QString loopCaption() const;

Q_SIGNALS:
    // A running query holds the parcel and the controls that would change it.
    void holdChanged(bool held);

private:
    void setHold(bool held, QComboBox* chooser, QComboBox* otherChooser = nullptr);
    // A query starts only with a parcel chosen and its time set; else the user is told what is missing.
    bool mayStart(const QString& noParcelText, bool timeSet, const QString& noTimeText);
    void endTimed();
    void disarmTimed();
    void stopLoop();
    // Shows the other group in the shown one's place; while the shown one's query runs, only if the
    // user agrees to the question.
    bool swapGroups(QGroupBox* shown, QGroupBox* other, bool running, const QString& question);

    RequerySchedule& m_schedule;
    std::function<bool()> m_hasParcel;
    QGroupBox* m_timedGroup = nullptr;
    QComboBox* m_hourBox = nullptr;
    QComboBox* m_minuteBox = nullptr;
    QPushButton* m_timedButton = nullptr;
    QGroupBox* m_loopGroup = nullptr;
    QComboBox* m_intervalBox = nullptr;
    QPushButton* m_loopButton = nullptr;
};

} // namespace zjx
