#include "notificationcatalogue.h"

#include "notificationslog.h"

#include "notifyrcfile.h"
#include "platform/fileread.h"
#include "platform/folderentries.h"
#include "platform/paths.h"
#include "platform/textdecode.h"

#include <KLocalizedString>

#include <QDir>
#include <QHash>
#include <QRegularExpression>
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
    // The file that gave each event its application name, for the report of a second claim.
    QHash<QString, QString> claimedBy;
    for (const QString &name : names) {
        if (!isCatalogueFileName(name)) {
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
            // The first file in name order keeps the event; the watcher would
            // show it under one application only, so a second claim is named.
            if (const auto kept = claimedBy.constFind(id); kept != claimedBy.cend()) {
                if (*kept != path) {
                    m_problems.append(i18n("%1: the event \"%2\" is listed by %3 already, which keeps it; this file's entry is not used", path, id, *kept));
                    qCWarning(QUOR_NOTIFICATIONS).noquote() << m_problems.last();
                }
                continue;
            }
            claimedBy.insert(id, path);
            m_appNamesById.insert(id, appName);
            const QString russianName = group.value(QStringLiteral("Name[ru]")).simplified();
            if (!m_eventIdsByName.contains(russianName)) {
                m_eventIdsByName.insert(russianName, id);
            }
        }
    }
    m_loaded = !m_appNamesById.isEmpty() && !m_eventIdsByName.isEmpty();
    return m_loaded;
}

bool NotificationCatalogue::isCatalogueFileName(const QString &name)
{
    // "velta-event-watcher_<part>.notifyrc" and nothing around it: a copy kept
    // beside a catalogue file ("old-...", "....orig", "...~") must not register.
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("velta-event-watcher_[A-Za-z0-9_-]+\\.notifyrc")));
    return pattern.match(name).hasMatch();
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
