#include "soundpreview.h"

#include <QMediaPlayer>
#include <QUrl>
#if QT_VERSION_MAJOR >= 6
#include <QAudioOutput>
#endif

// The sound preview through Qt's media player; one player serves every preview.
class MediaSoundPreview : public QObject, public SoundPreview
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QUOR_SOUND_PREVIEW_IID)
    Q_INTERFACES(SoundPreview)

public:
    MediaSoundPreview()
        : m_player(new QMediaPlayer(this))
    {
#if QT_VERSION_MAJOR >= 6
        // Qt 6's player sounds through an output of its own, which holds the volume.
        m_player->setAudioOutput(new QAudioOutput(m_player));
        connect(m_player, &QMediaPlayer::errorOccurred, this, &MediaSoundPreview::reportError);
#else
        connect(m_player, QOverload<QMediaPlayer::Error>::of(&QMediaPlayer::error), this, &MediaSoundPreview::reportError);
#endif
    }

    void play(const QString &file, int volume, const std::function<void(const QString &why)> &failed) override
    {
        m_failed = failed;
        m_player->stop();
#if QT_VERSION_MAJOR >= 6
        m_player->setSource(QUrl::fromLocalFile(file));
        m_player->audioOutput()->setVolume(float(volume) / 100);
#else
        m_player->setMedia(QUrl::fromLocalFile(file));
        m_player->setVolume(volume);
#endif
        m_player->play();
    }

private:
    void reportError()
    {
        if (m_failed) {
            m_failed(m_player->errorString());
        }
    }

    QMediaPlayer *m_player; // Owned by this object.
    std::function<void(const QString &why)> m_failed; // of the latest preview
};

#include "mediasoundpreview.moc"
