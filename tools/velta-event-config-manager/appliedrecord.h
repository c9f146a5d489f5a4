#pragma once

#include "configarchive.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

// What the last import put on this host and the restarts it still owes, kept
// in the applied record so that a later run can tell which managed files
// drifted from that archive and retry a restart that failed.
class AppliedRecord
{
public:
    // The record on this host; a missing one reads as empty. False with the
    // reason when it is there but unreadable or not the record's JSON.
    static bool load(AppliedRecord *record, QString *errorText);
    // Replaces the record whole.
    bool save(QString *errorText) const;

    // The archive now applied and the files it holds.
    void setApplied(const ConfigArchive::Identity &identity, const ConfigArchive::Files &files);
    bool hasApplied() const;
    // The applied archive and its files, as one object to keep elsewhere, and
    // that object taken back: after a change that was rolled back, the archive
    // before it is again what the host holds.
    QJsonObject appliedState() const;
    void setAppliedState(const QJsonObject &state);

    QStringList pendingRestarts() const;
    void owe(const QStringList &units);
    void settle(const QString &unit);

    // The managed files that differ from the applied archive: objects with
    // "path" and "change" (modified, missing, unreadable, added).
    QJsonArray drift() const;

    // The applied archive, the drift and the pending restarts.
    QJsonObject status() const;

private:
    QJsonObject m_data;
};
