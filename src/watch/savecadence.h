#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

namespace zjx {

// When a file that changes often is written: a moment after a change, so a burst of changes is
// one write, and never later than `longestMs` after the first change not yet written, however
// many follow (a watch that keeps finding news would otherwise put the write off for ever).
class SaveCadence : public QObject {
    Q_OBJECT
public:
    static constexpr int quietMs = 300;
    static constexpr int longestMs = 2000;

    // `save` writes the file; false when it could not (it is tried again later).
    explicit SaveCadence(std::function<bool()> save, QObject* parent = nullptr);
    // Milliseconds on a clock that only goes forward; tests set their own.
    void setClock(std::function<qint64()> msecs) { m_clock = std::move(msecs); }

    void changed();
    bool pending() const { return m_firstChange >= 0; }
    // Writes now, whether or not a change waits; true when the write succeeded.
    bool saveNow();
    // Writes when a change is due (the timer calls it; tests with their own clock call it).
    void wake();

private:
    qint64 dueAt() const;
    void arm(qint64 now);

    std::function<bool()> m_save;
    std::function<qint64()> m_clock;
    QTimer m_timer;
    qint64 m_firstChange = -1; // when the oldest change not yet written came; -1: none waits
    qint64 m_lastChange = -1;
};

} // namespace zjx
