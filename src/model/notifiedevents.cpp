#include "notifiedevents.h"

#include "platform/paths.h"

#include <QDir>

namespace NotifiedEvents
{
namespace
{
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
    // The file name part of the per-event path ("mod-velta-").
    const QString prefix = QString(Paths::PerEventFilePrefix).section(QLatin1Char('/'), -1);
    const QString suffix = QStringLiteral(".conf");
    QSet<QString> &set = store();
    set.clear();
    const auto names = QDir(Paths::placed(Paths::SyslogNgConfDir)).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        if (name.startsWith(prefix) && name.endsWith(suffix) && name.size() > prefix.size() + suffix.size()) {
            set.insert(name.mid(prefix.size(), name.size() - prefix.size() - suffix.size()));
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
}
