#include "watch/savecadence.h"

#include <QElapsedTimer>
#include <algorithm>

namespace zjx {

SaveCadence::SaveCadence(std::function<bool()> save, QObject* parent) : QObject(parent), m_save(std::move(save)) {
    m_clock = [started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }()] { return started.elapsed(); };
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SaveCadence::wake);
}

qint64 SaveCadence::dueAt() const {
    return std::min(m_lastChange + quietMs, m_firstChange + longestMs);
}

void SaveCadence::arm(qint64 now) {
    m_timer.start(int(std::max<qint64>(0, dueAt() - now)));
}

void SaveCadence::changed() {
    const qint64 now = m_clock();
    if (m_firstChange < 0)
        m_firstChange = now;
    m_lastChange = now;
    arm(now);
}

bool SaveCadence::saveNow() {
    m_timer.stop();
    const qint64 now = m_clock();
    if (m_save()) {
        m_firstChange = m_lastChange = -1;
        return true;
    }
    // Not written (a full disk): tried again after the longest wait, and at the end.
    m_firstChange = m_lastChange = now;
    m_timer.start(longestMs);
    return false;
}

void SaveCadence::wake() {
    if (!pending())
        return;
    const qint64 now = m_clock();
    if (now >= dueAt())
        saveNow();
    else
        arm(now);
}

} // namespace zjx
