#pragma once

#include <QString>

#include <memory>

class QTemporaryDir;

// Folders of root's own (the snapshots, the copies of archives to import):
// mode 0700 and owned by the running user, root. A folder in their place that
// belongs to anyone else, or a link, is refused and never used.
namespace PrivateFolder
{
// Whether the folder at path (placed) is one; with create, a missing one is
// made (its parents as they come). False with "<path>: <reason>".
bool check(const QString &path, bool create, QString *errorText);
}

// A new folder for scratch files (copies under check, inputs of a diff) in
// root's scratch folder under the system root, never in TMPDIR; it goes with
// the object. Used as QTemporaryDir is.
class ScratchFolder
{
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    bool isValid() const;
    QString errorString() const;
    QString path() const;
    QString filePath(const QString &name) const;

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_error;
};

// A private copy of a file someone else may change (an archive chosen for an
// import): read once, without following a final link and only when it is a
// regular file within maxSize, into a new folder of its own under the private
// folder parent (placed). Whatever happens to the original afterwards, the
// copy's bytes stay the ones read. The copy and its folder go with the object.
class PrivateCopy
{
public:
    PrivateCopy(const QString &original, const QString &parent, qint64 maxSize);
    ~PrivateCopy();
    PrivateCopy(const PrivateCopy &) = delete;
    PrivateCopy &operator=(const PrivateCopy &) = delete;

    bool isValid() const
    {
        return !m_path.isEmpty();
    }
    // The copy, or an empty text.
    QString path() const
    {
        return m_path;
    }
    // "<path>: <reason>" when no copy was made.
    QString error() const
    {
        return m_error;
    }

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_path;
    QString m_error;
};
