#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <QtGlobal>
#include <array>
#include <functional>

namespace zjx {

class QuerySession;

// The timed and the loop re-query of the chosen parcel. The timed query looks at the clock every
// second and fires once at its hour and minute; the loop query counts minutes and fires every so
// many. A re-query that falls due while a query is in flight (or a box is open) waits and runs
// right after; one of a mode that was stopped or restarted meanwhile is dropped.
class RequerySchedule : public QObject {
    Q_OBJECT
public:
    enum class Mode { Timed, Loop };

    explicit RequerySchedule(QuerySession& query, QObject* parent = nullptr);

    // `run` asks again about the chosen parcel; `hasParcel` says whether one is chosen; `busy`
    // whether anything a re-query must wait for (a request, a parse, a box) is going on.
    void setHooks(std::function<void()> run, std::function<bool()> hasParcel, std::function<bool()> busy);

    // The chooser texts the modes read at each tick.
    void setTimedTime(const QString& hourText, const QString& minuteText);
    void setLoopInterval(const QString& minutesText);

    void armTimed();    // starts looking at the clock
    void disarmTimed(); // stops it; a waiting timed re-query is dropped
    bool timedArmed() const { return m_timedArmed; }
    QTimer& timedClock() { return m_timedClock; } // looks at the clock every second while armed
    void startLoop();
    void stopLoop();
    bool loopRunning() const { return m_loopRunning; }
    QTimer& loopClock() { return m_loopClock; } // counts a minute at a time while running
    qint16 loopMinutes() const { return m_loopMinutes; } // counted since the last re-query
    void setLoopMinutes(qint16 minutes) { m_loopMinutes = minutes; }

    void timedTick(); // one second of the timed query
    void loopTick();  // one minute of the loop query
    bool requeryRunning() const { return m_requeryRunning; }
    bool waits(Mode mode) const; // one of this mode's current run waits to run
    // Runs the waiting re-query once nothing it must wait for is left.
    void runPending();

Q_SIGNALS:
    void timedEnded(); // the timed query has fired and is disarmed

private:
    void requery(Mode mode);
    bool mustWait() const;
    void runNow();
    void endTimed();

    QuerySession& m_query;
    std::function<void()> m_run;
    std::function<bool()> m_hasParcel;
    std::function<bool()> m_busy;
    QTimer m_timedClock;
    QTimer m_loopClock;
    QString m_hourText;
    QString m_minuteText;
    QString m_intervalText;
    bool m_timedArmed = false;
    bool m_loopRunning = false;
    qint16 m_loopMinutes = 0;
    // Counts each start and stop of each mode: a re-query that waited is dropped when the count of
    // its mode moved meanwhile.
    std::array<quint32, 2> m_runs{};
    bool m_requeryRunning = false;
};

} // namespace zjx
