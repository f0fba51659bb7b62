#include "gui/platform/alertplayer.h"

#include "gui/platform/seamhandler.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QUrl>
#include <utility>

namespace zjx {

AlertPlayer::AlertPlayer(QObject* parent) : QObject(parent) {}

void AlertPlayer::setHandler(Handler h) {
    seamHandler<AlertPlayer>() = std::move(h);
}

void AlertPlayer::setSource(const QString& path) {
    if (seamHandler<AlertPlayer>()) {
        seamHandler<AlertPlayer>()(*this, path);
        return;
    }
    if (!m_player) {
        m_player = new QMediaPlayer(this);
        m_output = new QAudioOutput(this);
        m_output->setVolume(0.5f);
        m_player->setAudioOutput(m_output);
        // After an error the player keeps repeating it while it believes it plays: stop it once.
        connect(m_player, &QMediaPlayer::errorOccurred, this, [this] {
            if (m_failed)
                return;
            m_failed = true;
            m_player->stop();
        });
    }
    m_failed = false;
    m_player->stop();
    m_player->setSource(QUrl::fromLocalFile(path));
    m_player->play();
}

} // namespace zjx
