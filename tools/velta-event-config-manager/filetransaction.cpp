#include "filetransaction.h"

#include "platform/fileread.h"
#include "platform/stagedfile.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>
#include <QFileInfo>

FileTransaction::FileTransaction() = default;

FileTransaction::~FileTransaction() = default;

bool FileTransaction::stage(const QString &path, Step *step, QString *errorText)
{
    step->path = path;
    const FileRead::Result old = FileRead::regular(path, FileRead::ConfigLimit);
    if (!old.ok && !old.missing) {
        *errorText = FileRead::describe(path, old);
        return false;
    }
    step->existed = old.ok;
    step->oldContent = old.data;
    step->oldPermissions = QFileInfo(path).permissions();
    return true;
}

bool FileTransaction::replace(const QString &path, const QByteArray &content, QString *errorText)
{
    Step step;
    if (!stage(path, &step, errorText)) {
        return false;
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        *errorText = i18n("%1: cannot create the folder", folder);
        return false;
    }
    step.file = std::make_unique<StagedFile>();
    if (!step.file->stage(path, content)) {
        *errorText = QStringLiteral("%1: %2").arg(path, step.file->errorString());
        return false;
    }
    m_steps.push_back(std::move(step));
    return true;
}

bool FileTransaction::remove(const QString &path, QString *errorText)
{
    Step step;
    if (!stage(path, &step, errorText)) {
        return false;
    }
    m_steps.push_back(std::move(step));
    return true;
}

bool FileTransaction::commit(QString *errorText)
{
    for (size_t i = 0; i < m_steps.size(); ++i) {
        Step &step = m_steps[i];
        QString reason;
        bool done = true;
        if (step.file) {
            done = step.file->commit();
            reason = step.file->errorString();
        } else {
            QFile file(step.path);
            done = !file.exists() || file.remove();
            reason = file.errorString();
        }
        if (!done) {
            const QStringList notPutBack = undo(i);
            *errorText = QStringLiteral("%1: %2").arg(step.path, reason);
            if (notPutBack.isEmpty()) {
                *errorText += QLatin1Char('\n') + i18n("The files already replaced were put back; nothing changed.");
            } else {
                *errorText += QLatin1Char('\n') + i18n("These files could not be put back:\n%1", notPutBack.join(QLatin1Char('\n')));
            }
            m_steps.clear();
            return false;
        }
    }
    m_steps.clear();
    return true;
}

QStringList FileTransaction::undo(size_t done)
{
    QStringList failures;
    for (size_t i = done; i-- > 0;) {
        QString reason;
        if (!putBack(m_steps[i], &reason)) {
            m_notPutBack << m_steps[i].path;
            failures << QStringLiteral("%1: %2").arg(m_steps[i].path, reason);
        }
    }
    return failures;
}

bool FileTransaction::putBack(const Step &step, QString *reason)
{
    if (!step.existed) {
        QFile file(step.path);
        if (file.exists() && !file.remove()) {
            *reason = file.errorString();
            return false;
        }
        return true;
    }
    if (!StagedFile::replace(step.path, step.oldContent, reason)) {
        return false;
    }
    if (!QFile::setPermissions(step.path, step.oldPermissions)) {
        *reason = i18n("cannot set the permissions back");
        return false;
    }
    return true;
}
