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
    void prepare(const TreeItem *root);
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
    };

    QStringList settingsLines(const EventTreeItem *root, AuditData *audit) const;
    bool replace(const QString &path, const QStringList &fileLines);
    void switchAuditTypes(AuditData audit);

    const QString m_auditRulesPath;
    QStringList m_settingsLines; // as prepared
    AuditData m_audit; // as prepared
    QStringList m_errors;
    bool m_auditChanged = false;
    QByteArray m_writtenSettings;
    QHash<QString, FileStamp> m_expected; // placed path -> what was read
};
