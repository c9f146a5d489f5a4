#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// The package's catalogue of notifiable events: the files
// "velta-event-watcher_*.notifyrc" under the notification catalogue directory.
// One process-wide object; it reads the directory until it has found entries.
class NotificationCatalogue
{
public:
    static NotificationCatalogue &instance();

    NotificationCatalogue(const NotificationCatalogue &) = delete;
    NotificationCatalogue &operator=(const NotificationCatalogue &) = delete;

    // Cheap once it has succeeded.
    bool load();
    bool isLoaded() const
    {
        return m_loaded;
    }

    // The application name under which the watcher knows the event; empty when
    // the catalogue does not list it.
    QString appName(const QString &notificationId) const;
    // The notification identifier of the event with this Russian display name.
    QString eventId(const QString &russianName) const;

    // The catalogue files the last load could not read, and the events a
    // second file lists again, "<file>: <reason>" each.
    QStringList problems() const;

    // Whether a file of the catalogue directory is a catalogue file:
    // "velta-event-watcher_" with letters, digits, "_" or "-", and ".notifyrc".
    static bool isCatalogueFileName(const QString &name);

    // Forgets what was read; the next load() reads the directory again.
    void reset();

private:
    NotificationCatalogue() = default;

    QMap<QString, QString> m_eventIdsByName; // Russian name -> notification identifier
    QMap<QString, QString> m_appNamesById; // notification identifier -> application name
    QStringList m_problems;
    bool m_loaded = false;
};
