#pragma once

#include <QObject>
#include <QString>
#include <functional>

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

    // Plays instead of the media framework (tests record the source); empty restores it.
    using Handler = std::function<void(const AlertPlayer& player, const QString& path)>;
    static void setHandler(Handler handler);

private:
    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_output = nullptr;
    bool m_failed = false;
};

} // namespace zjx
