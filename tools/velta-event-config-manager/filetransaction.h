#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class StagedFile;

// Replaces and removes a set of files all or nothing. New contents are written
// beside their targets before anything is replaced; when replacing fails part
// way, every file already replaced or removed is put back as it was. The old
// contents are kept in memory: these are small configuration files.
class FileTransaction
{
public:
    FileTransaction();
    ~FileTransaction(); // contents staged but not committed are discarded

    FileTransaction(const FileTransaction &) = delete;
    FileTransaction &operator=(const FileTransaction &) = delete;

    // Stages content for path (placed); missing folders are created.
    bool replace(const QString &path, const QByteArray &content, QString *errorText);
    // Stages the removal of path (placed).
    bool remove(const QString &path, QString *errorText);

    // Carries out the staged steps in order. On failure the steps done are
    // undone, and errorText names the file and the reason.
    bool commit(QString *errorText);

    // After a failed commit: the files (placed paths) that could not be put back.
    QStringList notPutBack() const
    {
        return m_notPutBack;
    }

private:
    struct Step {
        QString path;
        bool existed = false;
        QByteArray oldContent;
        QFileDevice::Permissions oldPermissions;
        std::unique_ptr<StagedFile> file; // Owned; null for a removal.
    };

    bool stage(const QString &path, Step *step, QString *errorText);
    // Puts back the first done steps; returns "path: reason" of each that failed.
    QStringList undo(size_t done);
    bool putBack(const Step &step, QString *reason);

    std::vector<Step> m_steps;
    QStringList m_notPutBack;
};
