#pragma once

#include "abstractwriter.h"
#include "platform/filestamp.h"

#include <QHash>

class EventTreeItem;

// Stores the administrator's event settings: the current settings file (one
// event per line, only what differs from the package), the audit rules file of
// the enabled events, and the audit type switches.
class EventsWriter : public AbstractWriter
{
public:
    EventsWriter(const QString &settingsPath, const QString &auditRulesPath);
    ~EventsWriter() override;

    // Writes both files and switches the audit types; false when anything failed,
    // with one text per failure in errors(). The same as prepare() and commit().
    bool write(const TreeItem *root) override;
    // Builds the texts of both files and the audit switches from the tree,
    // reading the settings file for the events the tree lacks; changes nothing.
    // Given the tree as the settings file was read (or last written), an event
    // that is as it was read keeps its line as the file holds it, and one the
    // file does not hold is left out; where the file holds one event per line,
    // only the lines of edited events change. Without it, every event's line
    // is built anew.
    void prepare(const TreeItem *root, const TreeItem *asRead = nullptr);
    // Stores what prepare() built.
    bool commit();
    // A file (a placed path) is replaced only while it still holds what was
    // read of it; otherwise commit() leaves it and names it in errors().
    void expect(const QString &path, const FileStamp &stamp)
    {
        m_expected.insert(path, stamp);
    }
    // The bytes commit() would write: the settings file and the audit rules file.
    QByteArray preparedSettings() const;
    QByteArray preparedAuditRules() const;
    QStringList lines(const TreeItem *root) const override;

    // An event of the settings file that the tree lacks (its package file is
    // missing, unreadable or malformed) and its line as the file holds it.
    struct KeptEvent {
        QString id;
        QString line; // without the leading tab and the trailing comma
    };
    static QList<KeptEvent> eventsMissingFromTree(const QString &settingsPath, const EventTreeItem *root);

    QStringList errors() const;
    // At least one audit type was switched by the last write().
    bool auditChanged() const;
    // The settings file's content as the last write() gave it, so that the
    // caller can tell whether what is on disk now is still its own.
    QByteArray writtenSettings() const;

private:
    struct AuditData {
        bool hasAuditRules = false;
        QStringList rules;
        QStringList eventsOn;
        QStringList eventsOff;
        QStringList known; // the rules of every event of both trees, on or off: the module's own lines
        QStringList refusals; // why the rules cannot be written
    };

    // One event of the tree: its line without the leading tab and the
    // trailing comma, whether it is written at all, and whether it is as read.
    struct EventLine {
        QString id;
        QString line;
        bool written = false;
        bool asRead = false;
    };
    // Collects the audit data of the events written on the way.
    QList<EventLine> eventLines(const EventTreeItem *root, const EventTreeItem *asRead, AuditData *audit) const;
    // The whole file built anew; leaveUnread leaves out the events as read
    // that the file does not hold.
    QStringList regenerated(const QList<EventLine> &events, const EventTreeItem *root, bool leaveUnread) const;
    // The file with the lines of edited events replaced, added or removed;
    // null when it does not hold one event per line.
    QByteArray editedInPlace(const QList<EventLine> &events) const;
    bool replace(const QString &path, const QByteArray &data);
    void switchAuditTypes(AuditData audit);

    const QString m_auditRulesPath;
    QByteArray m_settings; // as prepared
    QByteArray m_auditRules; // as prepared
    AuditData m_audit; // as prepared
    QStringList m_errors;
    bool m_auditChanged = false;
    QByteArray m_writtenSettings;
    QHash<QString, FileStamp> m_expected; // placed path -> what was read
};
