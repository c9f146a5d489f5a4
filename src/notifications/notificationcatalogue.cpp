#include "notificationcatalogue.h"

#include "notifyrcfile.h"
#include "platform/paths.h"

#include <QDir>
#include <QFile>

NotificationCatalogue &NotificationCatalogue::instance()
{
    static NotificationCatalogue catalogue;
    return catalogue;
}

bool NotificationCatalogue::load()
{
    if (m_loaded) {
        return true;
    }
    const QString suffix = QStringLiteral(".notifyrc");
    const QDir dir(Paths::placed(Paths::NotificationCatalogueDir));
    const auto names = dir.entryList(QDir::Files, QDir::Name);
    for (const QString &name : names) {
        // Only catalogue files proper: a backup copy next to one must not register.
        if (!name.contains(QLatin1String("velta-event-watcher_")) || !name.endsWith(suffix)) {
            continue;
        }
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QString appName = name.left(name.size() - suffix.size());
        const auto groups = NotifyrcFile::parse(QString::fromUtf8(file.readAll()));
        for (const NotifyrcGroup &group : groups) {
            if (!group.name.startsWith(QLatin1String("Event/"))) {
                continue;
            }
            const QString id = group.name.mid(6).simplified();
            if (id.isEmpty()) {
                continue;
            }
            if (!m_appNamesById.contains(id)) {
                m_appNamesById.insert(id, appName);
            }
            const QString russianName = group.value(QStringLiteral("Name[ru]")).simplified();
            if (!m_eventIdsByName.contains(russianName)) {
                m_eventIdsByName.insert(russianName, id);
            }
        }
    }
    m_loaded = !m_appNamesById.isEmpty() && !m_eventIdsByName.isEmpty();
    return m_loaded;
}

QString NotificationCatalogue::appName(const QString &notificationId) const
{
    return m_appNamesById.value(notificationId);
}

QString NotificationCatalogue::eventId(const QString &russianName) const
{
    return m_eventIdsByName.value(russianName);
}

void NotificationCatalogue::reset()
{
    m_eventIdsByName.clear();
    m_appNamesById.clear();
    m_loaded = false;
}
