#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

class KLocalizedString;

// A new content for a file, written beside it and synced before it replaces
// the file in one rename: whoever stops the writer at any point finds the file
// whole, old or new. The temporary's name ends in "~" so that no reader of the
// configuration folders takes it for a file of its own (logrotate reads every
// other name in its folder, syslog-ng every "*.conf"); a later write of the same
// file removes what a killed writer left. Move-only; an uncommitted temporary
// is removed when the object goes.
class StagedFile
{
public:
    // System configuration: read by everyone, written by root only.
    static constexpr mode_t SystemFileMode = 0644;

    StagedFile() = default;
    ~StagedFile();
    StagedFile(StagedFile &&other) noexcept;
    StagedFile &operator=(StagedFile &&other) noexcept;
    StagedFile(const StagedFile &) = delete;
    StagedFile &operator=(const StagedFile &) = delete;

    // Writes data for path (placed). The file keeps its permissions, but for
    // writing by every user; a new one gets newFileMode whatever the umask.
    bool stage(const QString &path, const QByteArray &data, mode_t newFileMode = SystemFileMode);
    // Renames the staged content over the file.
    bool commit();
    // Why staging or committing failed, without the path.
    QString errorString() const
    {
        return m_error;
    }

    // stage() and commit() at once.
    static bool replace(const QString &path, const QByteArray &data, QString *errorText = nullptr, mode_t newFileMode = SystemFileMode);

    // A scratch file in a temporary folder of our own that only our own checks
    // read: written plainly, without the wait for the disk that replacing a
    // system file takes. errorText gets why it failed, without the path.
    static bool writeScratch(const QString &path, const QByteArray &data, QString *errorText);

    // For writers that walk folders by hand: a new random name for a temporary
    // of the file named fileName, and whether an entry of its folder is one.
    static QByteArray temporaryName(const QByteArray &fileName);
    static bool isTemporaryOf(const QByteArray &entry, const QByteArray &fileName);
    // Removes the temporaries of path (placed) that killed writers left.
    static void removeLeftovers(const QString &path);
    // Writes all of data to the descriptor, going on after interrupted or short writes.
    static bool writeAll(int fd, const QByteArray &data);

private:
    bool fail(const KLocalizedString &what);
    void discard();

    QString m_path;
    QByteArray m_temporary; // empty when nothing is staged
    QString m_error;
};
