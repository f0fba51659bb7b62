#pragma once

#include <QObject>
#include <QString>

class QMediaPlayer;
class QAudioOutput;

namespace zjx {

// The alert's media player: volume 50 of 100, starts as soon as a source is set, shows no error.
// GStreamer is only woken on the first alert, so start-up stays quick.
class AlertPlayer : public QObject {
    Q_OBJECT
public:
    explicit AlertPlayer(QObject* parent = nullptr);

    void setSource(const QString& path); // starts playing at once; a second call starts anew
    QString lastSource() const { return m_lastSource; }
    int timesStarted() const { return m_timesStarted; }

    // Tests record the source without waking the media framework.
    static void setSilent(bool silent);

private:
    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_output = nullptr;
    QString m_lastSource;
    int m_timesStarted = 0;
    bool m_failed = false;
};

} // namespace zjx
