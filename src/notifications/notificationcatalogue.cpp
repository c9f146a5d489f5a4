#include "notificationcatalogue.h"

#include "notificationslog.h"

#include "notifyrcfile.h"
#include "platform/fileread.h"
#include "platform/folderentries.h"
#include "platform/paths.h"
#include "platform/textdecode.h"

#include <QDir>
#include <QtDebug>

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
    m_problems.clear();
    const QString suffix = QStringLiteral(".notifyrc");
    const QDir dir(Paths::placed(Paths::NotificationCatalogueDir));
    const QStringList names = FolderEntries::names(dir.path(), {}, QDir::Files);
    for (const QString &name : names) {
        // Only catalogue files proper: a backup copy next to one must not register.
        if (!name.contains(QLatin1String("velta-event-watcher_")) || !name.endsWith(suffix)) {
            continue;
        }
        const QString path = dir.filePath(name);
        const FileRead::Result read = FileRead::regular(path, FileRead::SmallFileLimit);
        QString text;
        QString reason = read.error;
        if (!read.ok || !TextDecode::utf8(read.data, &text, &reason)) {
            // One bad file must not hide the others.
            m_problems.append(path + QLatin1String(": ") + reason);
            qCWarning(QUOR_NOTIFICATIONS).noquote() << m_problems.last();
            continue;
        }
        const QString appName = name.left(name.size() - suffix.size());
        const auto groups = NotifyrcFile::parse(text);
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

QStringList NotificationCatalogue::problems() const
{
    return m_problems;
}

void NotificationCatalogue::reset()
{
    m_problems.clear();
    m_eventIdsByName.clear();
    m_appNamesById.clear();
    m_loaded = false;
}
