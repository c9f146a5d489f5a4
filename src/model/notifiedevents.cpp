#include "notifiedevents.h"

#include "platform/folderentries.h"
#include "platform/paths.h"

#include <QDir>

#include <algorithm>

namespace NotifiedEvents
{
namespace
{
const QString Suffix = QStringLiteral(".conf");

// The file name part of the per-event path ("mod-velta-").
QString prefix()
{
    return QString(Paths::PerEventFilePrefix).section(QLatin1Char('/'), -1);
}

QSet<QString> &store()
{
    static QSet<QString> set;
    return set;
}
}

const QSet<QString> &ids()
{
    return store();
}

void rebuild()
{
    QSet<QString> &set = store();
    set.clear();
    const QStringList names = fileNames(QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        const QString identifier = identifierOfFileName(name);
        if (!identifier.isEmpty()) {
            set.insert(identifier);
        }
    }
}

bool contains(const QString &messageId)
{
    // Most systems announce few events or none.
    return !store().isEmpty() && store().contains(fileIdentifier(messageId));
}

QString fileIdentifier(const QString &messageId)
{
    return QString(messageId).replace(QLatin1Char('_'), QLatin1Char('-'));
}

QString filePath(const QString &messageId)
{
    return Paths::PerEventFilePrefix + fileIdentifier(messageId) + Suffix;
}

QStringList fileNames(QDir::Filters filters)
{
    QStringList names = FolderEntries::names(Paths::placed(Paths::SyslogNgConfDir), {prefix() + QLatin1Char('*') + Suffix}, filters);
    names.erase(std::remove_if(names.begin(),
                               names.end(),
                               [](const QString &name) {
                                   return !Paths::isPerEventFileName(name);
                               }),
                names.end());
    return names;
}

QString identifierOfFileName(const QString &name)
{
    return name.mid(prefix().size(), name.size() - prefix().size() - Suffix.size());
}
}
