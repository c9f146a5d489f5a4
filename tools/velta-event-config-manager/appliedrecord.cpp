#include "appliedrecord.h"

#include "platform/fileread.h"
#include "platform/paths.h"
#include "platform/servicecommand.h"
#include "platform/stagedfile.h"

#include <KLocalizedString>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>

namespace
{
const QString ArchiveKey = QStringLiteral("archive");
const QString FilesKey = QStringLiteral("files");
const QString PendingKey = QStringLiteral("pendingRestarts");

// Why the record's JSON is not one this tool wrote; empty when it is. The
// record lies in a folder only root writes, but whatever stands there is
// read as untrusted: it names units to restart and files to hash.
QString recordProblem(const QJsonObject &data)
{
    for (auto it = data.constBegin(); it != data.constEnd(); ++it) {
        if (it.key() != ArchiveKey && it.key() != FilesKey && it.key() != PendingKey) {
            return i18n("an unknown key \"%1\"", it.key());
        }
    }
    if (data.contains(ArchiveKey) && !data.value(ArchiveKey).isObject()) {
        return i18n("\"%1\" is not an object", ArchiveKey);
    }
    const QJsonValue files = data.value(FilesKey);
    if (!files.isUndefined() && !files.isObject()) {
        return i18n("\"%1\" is not an object", FilesKey);
    }
    const QJsonObject hashes = files.toObject();
    for (auto it = hashes.constBegin(); it != hashes.constEnd(); ++it) {
        if (!ConfigArchive::isManagedName(it.key())) {
            return i18n("\"%1\" names \"%2\", which is not a managed file", FilesKey, it.key());
        }
        static const QRegularExpression hexHash(QStringLiteral("^[0-9a-f]{64}$"));
        if (!it.value().isString() || !hexHash.match(it.value().toString()).hasMatch()) {
            return i18n("\"%1\" gives \"%2\" no SHA-256 hash", FilesKey, it.key());
        }
    }
    const QJsonValue pending = data.value(PendingKey);
    if (!pending.isUndefined() && !pending.isArray()) {
        return i18n("\"%1\" is not an array", PendingKey);
    }
    const QStringList units{QLatin1String(ServiceCommand::LoggingUnit), QLatin1String(ServiceCommand::AuditUnit)};
    for (const QJsonValue &unit : pending.toArray()) {
        if (!unit.isString() || !units.contains(unit.toString())) {
            return i18n("\"%1\" holds %2, which is neither of the units %3",
                        PendingKey,
                        QString::fromUtf8(QJsonDocument(QJsonArray{unit}).toJson(QJsonDocument::Compact)).mid(1).chopped(1),
                        units.join(QLatin1String(", ")));
        }
    }
    return QString();
}

QJsonObject driftEntry(const QString &name, const QString &change)
{
    return {{QStringLiteral("path"), QString(QLatin1Char('/') + name)}, {QStringLiteral("change"), change}};
}

// How the file on the system stands against the hash it had when applied; empty when the same.
QString changeOf(const QString &name, const QString &appliedHash)
{
    const QString path = Paths::placed(QLatin1Char('/') + name);
    const FileRead::Result current = FileRead::regular(path, FileRead::ConfigLimit);
    if (current.missing) {
        return QStringLiteral("missing");
    }
    if (!current.ok) {
        return QStringLiteral("unreadable");
    }
    return QString::fromLatin1(ConfigArchive::sha256(current.data)) == appliedHash ? QString() : QStringLiteral("modified");
}
} // namespace

bool AppliedRecord::load(AppliedRecord *record, QString *errorText)
{
    const QString path = Paths::placed(Paths::AppliedRecordFile);
    const FileRead::Result read = FileRead::regular(path, FileRead::ConfigLimit);
    if (read.missing) {
        record->m_data = QJsonObject();
        return true;
    }
    if (!read.ok) {
        *errorText = FileRead::describe(path, read);
        return false;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(read.data, &error);
    if (!document.isObject()) {
        *errorText = i18n("%1: not a JSON object: %2", path, error.errorString());
        return false;
    }
    if (const QString problem = recordProblem(document.object()); !problem.isEmpty()) {
        *errorText = i18n("%1: not an applied record: %2", path, problem);
        return false;
    }
    record->m_data = document.object();
    return true;
}

bool AppliedRecord::save(QString *errorText) const
{
    const QString path = Paths::placed(Paths::AppliedRecordFile);
    // Synced and renamed whole; a temporary a killed run leaves is removed by the next write.
    // A folder that cannot be made fails the write, which says so.
    QDir().mkpath(QFileInfo(path).path());
    QString reason;
    if (!StagedFile::replace(path, QJsonDocument(m_data).toJson(), &reason)) {
        *errorText = QStringLiteral("%1: %2").arg(path, reason);
        return false;
    }
    return true;
}

void AppliedRecord::setApplied(const ConfigArchive::Identity &identity, const ConfigArchive::Files &files)
{
    QJsonObject hashes;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        hashes.insert(it.key(), QString::fromLatin1(ConfigArchive::sha256(it.value())));
    }
    m_data.insert(ArchiveKey,
                  QJsonObject{{QStringLiteral("sha256"), QString::fromLatin1(identity.sha256)},
                              {QStringLiteral("manifest"), identity.manifest},
                              {QStringLiteral("signer"), identity.signer},
                              {QStringLiteral("appliedAt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)}});
    m_data.insert(FilesKey, hashes);
}

QJsonObject AppliedRecord::appliedState() const
{
    QJsonObject state;
    for (const QString &key : {ArchiveKey, FilesKey}) {
        if (m_data.contains(key)) {
            state.insert(key, m_data.value(key));
        }
    }
    return state;
}

void AppliedRecord::setAppliedState(const QJsonObject &state)
{
    for (const QString &key : {ArchiveKey, FilesKey}) {
        if (state.contains(key)) {
            m_data.insert(key, state.value(key));
        } else {
            m_data.remove(key);
        }
    }
}

bool AppliedRecord::hasApplied() const
{
    return m_data.value(ArchiveKey).isObject();
}

QStringList AppliedRecord::pendingRestarts() const
{
    return m_data.value(PendingKey).toVariant().toStringList();
}

void AppliedRecord::owe(const QStringList &units)
{
    QStringList pending = pendingRestarts();
    for (const QString &unit : units) {
        if (!pending.contains(unit)) {
            pending << unit;
        }
    }
    m_data.insert(PendingKey, QJsonArray::fromStringList(pending));
}

void AppliedRecord::settle(const QString &unit)
{
    QStringList pending = pendingRestarts();
    pending.removeAll(unit);
    m_data.insert(PendingKey, QJsonArray::fromStringList(pending));
}

QJsonArray AppliedRecord::drift() const
{
    QJsonArray drifted;
    if (!hasApplied()) {
        return drifted;
    }
    const QJsonObject applied = m_data.value(FilesKey).toObject();
    for (auto it = applied.constBegin(); it != applied.constEnd(); ++it) {
        const QString change = changeOf(it.key(), it.value().toString());
        if (!change.isEmpty()) {
            drifted.append(driftEntry(it.key(), change));
        }
    }
    // An import removes the notification files its archive lacks: one that
    // appeared since is drift as well. Other files it leaves alone.
    const QString perEvent = QString(Paths::PerEventFilePrefix).mid(1);
    const QStringList present = ConfigArchive::presentNames();
    for (const QString &name : present) {
        if (name.startsWith(perEvent) && !applied.contains(name)) {
            drifted.append(driftEntry(name, QStringLiteral("added")));
        }
    }
    return drifted;
}

QJsonObject AppliedRecord::status() const
{
    return {{QStringLiteral("applied"), hasApplied() ? m_data.value(ArchiveKey) : QJsonValue()},
            {QStringLiteral("drift"), drift()},
            {PendingKey, QJsonArray::fromStringList(pendingRestarts())}};
}
