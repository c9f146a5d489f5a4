#pragma once

#include <QObject>
#include <QString>

#include <functional>

// Plays a sound file for the administrator to hear. It comes from a plugin of
// its own ("quor-admin-events/soundpreview"), loaded at the first preview, so
// that opening the module does not load the sound libraries.
class SoundPreview
{
public:
    virtual ~SoundPreview() = default;
    // Plays file from its start at volume (0 to 100); failed gets why it
    // cannot be played once the player finds out.
    virtual void play(const QString &file, int volume, const std::function<void(const QString &why)> &failed) = 0;
};

#define QUOR_SOUND_PREVIEW_IID "org.quor.admin-events.SoundPreview/1"
Q_DECLARE_INTERFACE(SoundPreview, QUOR_SOUND_PREVIEW_IID)
