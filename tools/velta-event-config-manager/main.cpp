#include "appliedrecord.h"
#include "archivesignature.h"
#include "configarchive.h"
#include "configimport.h"
#include "journal.h"
#include "servicestatus.h"
#include "snapshotstore.h"
#include "terminaloutput.h"

#include "platform/configsnapshot.h"
#include "platform/controlescape.h"
#include "platform/loggingreload.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/servicecommand.h"

#include <KLocalizedString>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QTextStream>

#include <algorithm>

#include <sys/stat.h>

namespace
{
// Exit statuses beyond 0 (done, or nothing would change) and 1 (refused or failed).
constexpr int UsageError = 2;
constexpr int WouldChange = 3;
constexpr int Untrusted = 4; // refused for a missing or unknown signer alone

constexpr int RestartTimeoutMs = 120000;
constexpr int StatusTimeoutMs = 10000;

QTextStream &err()
{
    return TerminalOutput::errors();
}

// Bytes as they are: file contents and JSON are UTF-8 whatever the locale.
void writeOut(const QByteArray &data)
{
    TerminalOutput::write(data);
}

int failure(const QString &text)
{
    err() << text << Qt::endl;
    return 1;
}

// "ok", or why the service command failed.
QString verdict(const Process::Result &result)
{
    const QString printed = QString::fromLocal8Bit(result.output).trimmed();
    if (!result.started) {
        return i18n("failed: sudo could not be started");
    }
    if (!result.finished) {
        return i18n("failed: no answer within %1 s", RestartTimeoutMs / 1000);
    }
    if (result.exitCode != 0) {
        return printed.isEmpty() ? i18n("failed: exit status %1", result.exitCode) : i18n("failed: exit status %1: %2", result.exitCode, printed);
    }
    return QStringLiteral("ok");
}

// How a unit took its new files.
struct Took {
    QString result; // "ok", or why not
    bool reloaded = false; // syslog-ng ran and reloaded them (or refused them and runs the ones before)
};

Took restart(const QString &unit)
{
    if (unit == QLatin1String(ServiceCommand::LoggingUnit)) {
        const auto took = Process::waitFor<LoggingReload::Result>([](const Process::Runner &run, const LoggingReload::Done &done) {
            LoggingReload::run(run, StatusTimeoutMs, RestartTimeoutMs, done);
        });
        return {verdict(took.outcome), took.reload};
    }
    return {verdict(Process::run(QString::fromLatin1(ServiceCommand::Program), ServiceCommand::arguments(QStringLiteral("restart"), unit), RestartTimeoutMs))};
}

// The units that read the changed files, syslog-ng first: when it refuses the
// new files they are all put back, and auditd then keeps its own.
QStringList unitsToRestart(const QStringList &changed)
{
    QStringList units;
    const bool syslogNg = std::any_of(changed.cbegin(), changed.cend(), [](const QString &path) {
        return path == Paths::EventsFile || path.startsWith(Paths::SyslogNgConfDir + QLatin1Char('/'));
    });
    if (syslogNg) {
        units << QString::fromLatin1(ServiceCommand::LoggingUnit);
    }
    // auditd is only recommended: where it is missing there is nothing to restart.
    if (changed.contains(Paths::AuditRulesFile) && QFileInfo::exists(Paths::placed(Paths::AuditDaemon))) {
        units << QString::fromLatin1(ServiceCommand::AuditUnit);
    }
    return units;
}

// After syslog-ng refused the new files: the snapshot taken before them is put
// back and syslog-ng takes them once more. A refused reload left it running
// the configuration before, so logging never stopped then. What happened,
// for standard error.
QString restartWithSnapshot(const Took &refused, const QString &snapshot, QJsonObject *summary)
{
    QString errorText;
    if (snapshot.isEmpty()) {
        errorText = i18n("no snapshot was taken before the import");
    } else if (SnapshotStore::putBack(snapshot, &errorText)) {
        const Took again = restart(QString::fromLatin1(ServiceCommand::LoggingUnit));
        if (again.result == QLatin1String("ok") || (refused.reloaded && again.reloaded)) {
            summary->insert(QStringLiteral("rolledBack"), snapshot);
            return refused.reloaded
                ? i18n("syslog-ng refused the new configuration and kept running with the previous one, whose files are back (snapshot %1): %2",
                       snapshot,
                       refused.result)
                : i18n("syslog-ng refused the new configuration and was restarted with the previous one (snapshot %1): %2", snapshot, refused.result);
        }
        errorText = ServiceCommand::text(QStringLiteral("restart"), QString::fromLatin1(ServiceCommand::LoggingUnit)) + QStringLiteral(": ") + again.result;
    }
    if (refused.reloaded) {
        return i18n(
            "syslog-ng refused the new configuration (%1) and keeps running with the previous one, but its files are not back (%2): "
            "the files on disk are the refused ones. Restore a configuration that syslog-ng accepts (--restore NAME, see --list-snapshots).",
            refused.result,
            errorText);
    }
    summary->insert(QStringLiteral("loggingStopped"), true);
    return i18n(
        "syslog-ng refused the new configuration (%1) and did not start with the previous one either (%2): logging is stopped. "
        "Restore a configuration that syslog-ng accepts (--restore NAME, see --list-snapshots), then start syslog-ng.",
        refused.result,
        errorText);
}

struct ImportOptions {
    bool json = false;
    bool restartIfChanged = false;
    ArchiveSignature::Policy signature;
};

// What prepare() found besides the files and the plan.
struct Prepared {
    ConfigArchive::Identity identity;
    bool untrusted = false; // refused for its signer alone
};

// Reads, checks and compares an archive: what an import of it would change.
// An archive from outside must be signed by a trusted key (or admitted
// without); a snapshot is root's own.
bool prepare(const QString &archivePath,
             const ArchiveSignature::Policy &policy,
             ConfigArchive::Files *files,
             ConfigImport::Plan *plan,
             QString *errorText,
             Prepared *prepared)
{
    const ConfigImport::Origin origin = SnapshotStore::holds(archivePath) ? ConfigImport::Origin::Snapshot : ConfigImport::Origin::Outside;
    QByteArray data;
    QString signer;
    // What is no archive of ours is refused as such, before anyone is asked about its signer.
    if (!ConfigArchive::load(archivePath, &data, errorText) || !ConfigArchive::unpack(data, archivePath, files, errorText, &prepared->identity)) {
        return false;
    }
    if (origin == ConfigImport::Origin::Outside && !ArchiveSignature::admit(data, policy, &signer, errorText, &prepared->untrusted)) {
        return false;
    }
    prepared->identity.signer = signer;
    return ConfigImport::plan(*files, plan, errorText) && ConfigImport::check(*files, *plan, origin, errorText);
}

// The exit status of a refusal.
int refusedStatus(const Prepared &prepared)
{
    return prepared.untrusted ? Untrusted : 1;
}

// What a refused syslog-ng restart goes back to: the snapshot taken just
// before the import's files, and the summary that tells of it.
struct RollBack {
    QString snapshot;
    QJsonObject *summary = nullptr; // Not owned; none: nothing to go back to.
    QJsonObject before; // what the record held as applied before the import
};

// What restartOwed did, for the JSON summary: each unit's result, and the
// units that took their files by a reload instead of a restart.
struct Restarts {
    QJsonObject byUnit;
    QJsonArray reloaded;

    void addTo(QJsonObject *summary) const
    {
        summary->insert(QStringLiteral("restarted"), byUnit);
        if (!reloaded.isEmpty()) {
            summary->insert(QStringLiteral("reloaded"), reloaded);
        }
    }
};

// Restarts the units and settles in the record each that succeeded; the
// others stay owed. Results by unit go into restarted. When syslog-ng
// refuses and there is a snapshot to go back to, its files go back and
// syslog-ng is restarted with them: then nothing is owed any more, the
// files being those the services ran with before.
bool restartOwed(const QStringList &units, AppliedRecord *record, Restarts *restarts, const RollBack &rollBack = {})
{
    if (units.isEmpty()) {
        return true;
    }
    bool allOk = true;
    QJsonObject *restarted = &restarts->byUnit;
    for (const QString &unit : units) {
        const Took took = restart(unit);
        restarted->insert(unit, took.result);
        if (took.reloaded) {
            restarts->reloaded.append(unit);
        }
        if (took.result == QLatin1String("ok")) {
            record->settle(unit);
            continue;
        }
        allOk = false;
        err() << (took.reloaded ? ServiceCommand::reloadText() : ServiceCommand::text(QStringLiteral("restart"), unit)) << ": " << took.result << Qt::endl;
        if (unit == QLatin1String(ServiceCommand::LoggingUnit) && rollBack.summary) {
            err() << restartWithSnapshot(took, rollBack.snapshot, rollBack.summary) << Qt::endl;
            if (rollBack.summary->contains(QStringLiteral("rolledBack"))) {
                for (const QString &owed : units) {
                    record->settle(owed);
                }
                record->setAppliedState(rollBack.before);
            }
            break;
        }
    }
    QString errorText;
    if (!record->save(&errorText)) {
        err() << errorText << Qt::endl;
        return false;
    }
    return allOk;
}

// Notes the imported archive on the host and, when the import is to restart
// them, the units it now owes a restart: recorded before they are tried, so
// that a restart that fails, or never comes, is retried by --restart-pending.
bool recordApplied(const ConfigArchive::Identity &identity, const ConfigArchive::Files &files, const QStringList &owed, AppliedRecord *record)
{
    record->setApplied(identity, files);
    record->owe(owed);
    QString errorText;
    if (!record->save(&errorText)) {
        err() << errorText << Qt::endl;
        return false;
    }
    return true;
}

// Replaces the files of the plan, journaled: the intent is on the disk before
// the first write, and a run killed part way is undone by the next
// (Journal::recover). journal gets what was recorded.
bool writeJournaled(const ConfigImport::Plan &plan, const QStringList &units, const AppliedRecord &before, Journal::Entry *journal, QString *errorText)
{
    // The state before the import can be gone back to, or nothing is written.
    QString snapshotError;
    if (!SnapshotStore::take(&snapshotError, &journal->snapshot)) {
        *errorText = i18n("no snapshot of the current configuration, so nothing was changed: %1", snapshotError);
        return false;
    }
    for (const ConfigImport::Change &change : plan) {
        journal->files << ConfigImport::systemPath(change.name);
    }
    journal->units = units;
    journal->before = before.appliedState();
    journal->owedBefore = before.pendingRestarts();
    if (!Journal::lock(true, errorText) || !Journal::save(*journal, errorText)) {
        return false;
    }
    QStringList notPutBack;
    if (ConfigImport::apply(plan, errorText, &notPutBack)) {
        return true;
    }
    // Whatever the failed write could not put back, the snapshot does.
    QString recovered;
    QString notRecovered;
    if (!Journal::recover(&recovered, &notRecovered)) {
        *errorText += QLatin1Char('\n') + notRecovered;
    }
    return false;
}

int importArchive(const QString &archivePath, const ImportOptions &options)
{
    ConfigArchive::Files files;
    Prepared prepared;
    ConfigImport::Plan plan;
    QString errorText;
    QStringList changed;
    bool ok = prepare(archivePath, options.signature, &files, &plan, &errorText, &prepared);
    const ConfigArchive::Identity &identity = prepared.identity;
    AppliedRecord before;
    if (ok) {
        QString loadError;
        if (!AppliedRecord::load(&before, &loadError)) {
            err() << i18n("warning: the applied record is replaced: %1", loadError) << Qt::endl;
        }
    }
    Journal::Entry journal;
    const bool journaled = ok && !plan.empty();
    if (journaled) {
        QStringList paths;
        for (const ConfigImport::Change &change : plan) {
            paths << ConfigImport::systemPath(change.name);
        }
        ok = writeJournaled(plan, options.restartIfChanged ? unitsToRestart(paths) : QStringList(), before, &journal, &errorText);
        if (ok) {
            changed = paths;
        }
    }

    QJsonObject summary{{QStringLiteral("changed"), !changed.isEmpty()}, {QStringLiteral("files"), QJsonArray::fromStringList(changed)}};
    bool restartsOk = true;
    AppliedRecord record = before;
    const bool recorded = ok && recordApplied(identity, files, journal.units, &record);
    QString journalError;
    // Recorded, the change stays; the journal keeps the way back while restarts are owed.
    const auto settleJournal = [&] {
        if (!journaled || !recorded) {
            return;
        }
        const bool settled = record.pendingRestarts().isEmpty() || journal.units.isEmpty() ? Journal::remove(&journalError) : [&] {
            journal.step = Journal::Step::Restarting;
            return Journal::save(journal, &journalError);
        }();
        if (!settled) {
            err() << journalError << Qt::endl;
        }
    };
    settleJournal();
    if (ok && options.restartIfChanged) {
        Restarts restarts;
        // Restarts owed by an earlier import are made up for as well; logging
        // is never left down by an import: when syslog-ng refuses the new
        // files, the ones before go back.
        restartsOk = restartOwed(record.pendingRestarts(), &record, &restarts, RollBack{journal.snapshot, &summary, journal.before});
        if (!restarts.byUnit.isEmpty()) {
            restarts.addTo(&summary);
        }
        settleJournal();
    }
    if (!ok) {
        summary.insert(QStringLiteral("error"), ControlEscape::escaped(errorText));
        err() << errorText << Qt::endl;
    }
    if (options.json) {
        writeOut(QJsonDocument(summary).toJson(QJsonDocument::Compact) + '\n');
    }
    if (!ok) {
        return refusedStatus(prepared);
    }
    return recorded && restartsOk ? 0 : 1;
}

int checkArchive(const QString &archivePath, const ArchiveSignature::Policy &policy)
{
    ConfigArchive::Files files;
    ConfigImport::Plan plan;
    Prepared prepared;
    QString errorText;
    if (!prepare(archivePath, policy, &files, &plan, &errorText, &prepared)) {
        failure(errorText);
        return refusedStatus(prepared);
    }
    return 0;
}

// How an import changes a file, in the words of the JSON summary.
QString changeKind(const ConfigImport::Change &change)
{
    if (change.remove) {
        return QStringLiteral("removed");
    }
    return change.exists ? QStringLiteral("replaced") : QStringLiteral("added");
}

int diffArchive(const QString &archivePath, const ArchiveSignature::Policy &policy, bool json)
{
    ConfigArchive::Files files;
    ConfigImport::Plan plan;
    Prepared prepared;
    QString errorText;
    QByteArray diff;
    // What would be refused at the import is refused here already.
    if (!prepare(archivePath, policy, &files, &plan, &errorText, &prepared) || !ConfigImport::diff(plan, &diff, &errorText)) {
        failure(errorText);
        return refusedStatus(prepared);
    }
    // The files' own bytes reach a terminal, the page and Ansible's output.
    const QByteArray text = ControlEscape::escapedUtf8(diff);
    const QString signer = prepared.identity.signer;
    if (json) {
        QJsonArray changes;
        for (const ConfigImport::Change &change : plan) {
            changes.append(QJsonObject{{QStringLiteral("path"), ConfigImport::systemPath(change.name)}, {QStringLiteral("change"), changeKind(change)}});
        }
        QJsonObject summary{{QStringLiteral("changes"), changes}, {QStringLiteral("diff"), QString::fromUtf8(text)}};
        if (!signer.isEmpty()) {
            summary.insert(QStringLiteral("signer"), signer);
        }
        writeOut(QJsonDocument(summary).toJson(QJsonDocument::Compact) + '\n');
    } else {
        if (!signer.isEmpty()) {
            err() << i18n("signed by %1", signer) << Qt::endl;
        }
        writeOut(text);
    }
    return plan.empty() ? 0 : WouldChange;
}

// One line per snapshot: name, local time taken, and the files that differ
// from the system's now (those a restore would change), tab-separated.
int listSnapshots()
{
    QByteArray listing;
    const QStringList names = ConfigSnapshot::names();
    for (const QString &name : names) {
        ConfigArchive::Files files;
        ConfigImport::Plan plan;
        QString errorText;
        if (!ConfigArchive::read(ConfigSnapshot::path(name), &files, &errorText) || !ConfigImport::plan(files, &plan, &errorText)) {
            err() << name << ": " << errorText << Qt::endl;
            continue;
        }
        QStringList differing;
        for (const ConfigImport::Change &change : plan) {
            differing << ConfigImport::systemPath(change.name);
        }
        const QStringList columns{name, ConfigSnapshot::takenAt(name).toLocalTime().toString(Qt::ISODate), differing.join(QLatin1Char(' '))};
        listing += columns.join(QLatin1Char('\t')).toUtf8() + '\n';
    }
    writeOut(ControlEscape::escapedUtf8(listing));
    return 0;
}

// Whether the line "keep" comes on standard input before its end. Standard
// input is no file of the system: it is the module's word, one short line.
bool toldToKeep()
{
    QFile in;
    return in.open(stdin, QIODevice::ReadOnly) && in.readLine(64).trimmed() == "keep";
}

// Prints the name of the snapshot that holds the files now, for the module's
// roll-back after a restart that fails. Held, the files are read at once and
// the snapshot kept once the module tells it to (it checks the change
// meanwhile), or not at all.
int takeSnapshot(bool hold)
{
    QString errorText;
    SnapshotStore::Prepared prepared;
    if (!SnapshotStore::prepare(&prepared, &errorText)) {
        return failure(errorText);
    }
    if (hold && !toldToKeep()) {
        return 0;
    }
    QString name;
    if (!SnapshotStore::keep(prepared, &errorText, &name)) {
        return failure(errorText);
    }
    if (!name.isEmpty()) {
        writeOut(name.toUtf8() + '\n');
    }
    return 0;
}

int rollBackSnapshot(const QString &name)
{
    QString errorText;
    return SnapshotStore::putBack(name, &errorText) ? 0 : failure(errorText);
}

int restoreSnapshot(const QString &name, const ImportOptions &options)
{
    const QString path = ConfigSnapshot::path(name);
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        return failure(i18n("%1: no such snapshot", name));
    }
    return importArchive(path, options);
}

// Retries the restarts that imports still owe. When syslog-ng refuses the
// files again, the journal of the import that owes it names the snapshot
// before it, which goes back.
int restartPending(bool json)
{
    AppliedRecord record;
    QString errorText;
    Journal::Entry journal;
    bool journaled = false;
    if (!AppliedRecord::load(&record, &errorText) || !Journal::load(&journal, &journaled, &errorText)) {
        return failure(errorText);
    }
    journaled = journaled && journal.step == Journal::Step::Restarting;
    Restarts restarts;
    QJsonObject summary;
    const bool ok = restartOwed(record.pendingRestarts(), &record, &restarts, journaled ? RollBack{journal.snapshot, &summary, journal.before} : RollBack{});
    if (journaled && record.pendingRestarts().isEmpty() && !Journal::remove(&errorText)) {
        err() << errorText << Qt::endl;
    }
    if (json) {
        summary.insert(QStringLiteral("changed"), !restarts.byUnit.isEmpty());
        summary.insert(QStringLiteral("pendingRestarts"), QJsonArray::fromStringList(record.pendingRestarts()));
        restarts.addTo(&summary);
        writeOut(QJsonDocument(summary).toJson(QJsonDocument::Compact) + '\n');
    }
    return ok ? 0 : 1;
}

// The applied archive, the files that drifted from it, the services and
// whether syslog-ng runs the files on disk, and the owed restarts.
int showStatus(bool json)
{
    AppliedRecord record;
    QString errorText;
    if (!AppliedRecord::load(&record, &errorText)) {
        return failure(errorText);
    }
    QJsonObject status = record.status();
    QJsonArray drift = status.value(QStringLiteral("drift")).toArray();
    const QJsonObject services = ServiceStatus::query(&drift);
    status.insert(QStringLiteral("drift"), drift);
    status.insert(QStringLiteral("services"), services);
    if (json) {
        writeOut(QJsonDocument(status).toJson(QJsonDocument::Compact) + '\n');
        return 0;
    }
    const QJsonObject applied = status.value(QStringLiteral("applied")).toObject();
    QString text = applied.isEmpty()
        ? i18n("applied: none") + QLatin1Char('\n')
        : i18n("applied: %1 at %2", applied.value(QStringLiteral("sha256")).toString(), applied.value(QStringLiteral("appliedAt")).toString())
            + QLatin1Char('\n');
    const QString signer = applied.value(QStringLiteral("signer")).toString();
    if (!signer.isEmpty()) {
        text += i18n("signed by: %1", signer) + QLatin1Char('\n');
    }
    for (auto it = services.constBegin(); it != services.constEnd(); ++it) {
        const QJsonObject unit = it.value().toObject();
        const QJsonValue running = unit.value(QStringLiteral("running"));
        QString line = running.isNull() ? i18n("service: %1 unknown", it.key())
            : running.toBool()          ? i18n("service: %1 running", it.key())
                                        : i18n("service: %1 stopped", it.key());
        const QJsonValue onDisk = unit.value(QStringLiteral("configurationOnDisk"));
        if (onDisk.isBool()) {
            line += onDisk.toBool() ? i18n(", configuration on disk") : i18n(", another configuration");
        }
        if (unit.contains(QStringLiteral("reason"))) {
            line += QStringLiteral(" (") + unit.value(QStringLiteral("reason")).toString() + QLatin1Char(')');
        }
        text += line + QLatin1Char('\n');
    }
    for (const QJsonValue &entry : std::as_const(drift)) {
        const QJsonObject item = entry.toObject();
        const QString what =
            item.contains(QStringLiteral("path")) ? item.value(QStringLiteral("path")).toString() : item.value(QStringLiteral("service")).toString();
        text += i18n("drift: %1 (%2)", what, item.value(QStringLiteral("change")).toString()) + QLatin1Char('\n');
    }
    const QStringList pending = record.pendingRestarts();
    for (const QString &unit : pending) {
        text += i18n("pending restart: %1", unit) + QLatin1Char('\n');
    }
    writeOut(ControlEscape::escapedUtf8(text.toUtf8()));
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(QUOR_ADMIN_EVENTS_VERSION));
    // Files we create are system configuration: never group or world writable.
    umask(022);
    // Standard error is this tool's report, which the module shows and logs;
    // the platform's own lines would repeat it there. QT_LOGGING_RULES turns them on.
    QLoggingCategory::setFilterRules(QStringLiteral("quor.admin.events.*.warning=false"));

    const QCommandLineOption exportOption(QStringLiteral("o"), i18n("Export the configuration into ARCHIVE."), QStringLiteral("ARCHIVE"));
    const QCommandLineOption importOption(QStringLiteral("i"), i18n("Import the configuration from ARCHIVE."), QStringLiteral("ARCHIVE"));
    const QCommandLineOption checkOption(QStringLiteral("check"),
                                         i18n("Check ARCHIVE: whether syslog-ng, logrotate and the module accept its files; change nothing."),
                                         QStringLiteral("ARCHIVE"));
    const QCommandLineOption diffOption(QStringLiteral("diff"),
                                        i18n("Show what an import of ARCHIVE would change; exit status 3 when something would."),
                                        QStringLiteral("ARCHIVE"));
    const QCommandLineOption snapshotOption(QStringLiteral("snapshot"), i18n("Keep the current configuration as a snapshot."));
    const QCommandLineOption holdOption(QStringLiteral("hold"),
                                        i18n("With --snapshot: read the configuration now, keep the snapshot only when the line \"keep\" "
                                             "follows on standard input."));
    const QCommandLineOption listOption(QStringLiteral("list-snapshots"), i18n("List the snapshots with the files that differ from today's."));
    const QCommandLineOption restoreOption(QStringLiteral("restore"), i18n("Restore the snapshot NAME as an import does."), QStringLiteral("NAME"));
    const QCommandLineOption statusOption(QStringLiteral("status"),
                                          i18n("Show the archive last imported, the managed files that differ from it and the restarts still owed."));
    const QCommandLineOption pendingOption(QStringLiteral("restart-pending"), i18n("Retry the restarts that imports still owe."));
    const QCommandLineOption jsonOption(QStringLiteral("json"), i18n("With -i, --restore, --diff, --status or --restart-pending: print a JSON summary."));
    const QCommandLineOption rollBackOption(QStringLiteral("roll-back"),
                                            i18n("Put the files of the snapshot NAME back as they are, without a check or a new snapshot."),
                                            QStringLiteral("NAME"));
    const QCommandLineOption allowUnsignedOption(QStringLiteral("allow-unsigned"),
                                                 i18n("With -i, --check or --diff: admit an archive that is unsigned or signed by a key not trusted, "
                                                      "and name its signer."));
    const QCommandLineOption signersOption(QStringLiteral("trusted-signers"),
                                           i18n("With -i, --check or --diff: check the signature against FILE instead of %1.", QString(Paths::TrustedSigners)),
                                           QStringLiteral("FILE"));
    const QCommandLineOption restartOption(QStringLiteral("restart-if-changed"),
                                           i18n("With -i or --restore: restart syslog-ng and auditd when their files changed, and until done on later runs."));
    QCommandLineParser parser;
    parser.setApplicationDescription(i18n("Exports, checks, compares and imports the event registration configuration."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addOptions({exportOption,
                       importOption,
                       checkOption,
                       diffOption,
                       snapshotOption,
                       listOption,
                       restoreOption,
                       rollBackOption,
                       statusOption,
                       pendingOption,
                       jsonOption,
                       restartOption,
                       holdOption,
                       allowUnsignedOption,
                       signersOption});

    const QList<QCommandLineOption>
        verbs{exportOption, importOption, checkOption, diffOption, snapshotOption, listOption, restoreOption, rollBackOption, statusOption, pendingOption};
    const auto isSet = [&parser](const QCommandLineOption &option) {
        return parser.isSet(option);
    };
    const bool parsed = parser.parse(app.arguments()) && parser.positionalArguments().isEmpty();
    // Help and version are answers, not usage errors; both exit.
    if (parsed && parser.isSet(helpOption)) {
        parser.showHelp(0);
    }
    if (parsed && parser.isSet(versionOption)) {
        parser.showVersion();
    }
    const bool oneVerb = parsed && std::count_if(verbs.cbegin(), verbs.cend(), isSet) == 1;
    const bool importing = parsed && (parser.isSet(importOption) || parser.isSet(restoreOption));
    const bool summarising = importing || (parsed && (parser.isSet(diffOption) || parser.isSet(statusOption) || parser.isSet(pendingOption)));
    const bool valueGiven = std::all_of(verbs.cbegin(), verbs.cend(), [&parser](const QCommandLineOption &option) {
        return option.valueName().isEmpty() || !parser.isSet(option) || !parser.value(option).isEmpty();
    });
    const bool holdMisplaced = parser.isSet(holdOption) && !parser.isSet(snapshotOption);
    const bool readsArchive = parsed && (parser.isSet(importOption) || parser.isSet(checkOption) || parser.isSet(diffOption));
    const bool signatureMisplaced = (parser.isSet(allowUnsignedOption) || parser.isSet(signersOption)) && !readsArchive;
    if (!oneVerb || !valueGiven || (parser.isSet(jsonOption) && !summarising) || (parser.isSet(restartOption) && !importing) || holdMisplaced
        || signatureMisplaced || (parser.isSet(signersOption) && parser.value(signersOption).isEmpty())) {
        if (!parser.errorText().isEmpty()) {
            err() << parser.errorText() << '\n';
        }
        err() << "usage: velta-event-config-manager -o ARCHIVE | -i ARCHIVE [--json] [--restart-if-changed] | --check ARCHIVE | --diff ARCHIVE [--json]\n"
                 "       | --snapshot [--hold] | --list-snapshots | --restore NAME [--json] [--restart-if-changed] | --roll-back NAME\n"
                 "       | --status [--json] | --restart-pending [--json] | --help | --version\n"
                 "       -i, --check and --diff also take [--allow-unsigned] [--trusted-signers FILE]"
              << Qt::endl;
        return UsageError;
    }

    // Root works on a system root only when no one else can change it.
    if (const QString refusal = Paths::rootRefusal(); !refusal.isEmpty()) {
        return failure(refusal);
    }
    const ArchiveSignature::Policy signature{parser.isSet(allowUnsignedOption),
                                             parser.isSet(signersOption) ? QFileInfo(parser.value(signersOption)).absoluteFilePath()
                                                                         : Paths::placed(Paths::TrustedSigners)};
    const ImportOptions options{parser.isSet(jsonOption), parser.isSet(restartOption), signature};
    // A change killed part way is finished first, by whichever run comes next
    // to change or report; only one change at a time.
    if (importing || parser.isSet(statusOption) || parser.isSet(pendingOption) || parser.isSet(rollBackOption)) {
        QString errorText;
        QString recovered;
        if (!Journal::lock(false, &errorText) || !Journal::recover(&recovered, &errorText)) {
            if (!parser.isSet(statusOption)) {
                return failure(errorText);
            }
            err() << i18n("warning: %1", errorText) << Qt::endl;
        }
        if (!recovered.isEmpty()) {
            err() << recovered << Qt::endl;
        }
    }
    if (parser.isSet(exportOption)) {
        QString errorText;
        return ConfigArchive::exportTo(parser.value(exportOption), &errorText) ? 0 : failure(errorText);
    }
    if (parser.isSet(importOption)) {
        return importArchive(parser.value(importOption), options);
    }
    if (parser.isSet(checkOption)) {
        return checkArchive(parser.value(checkOption), signature);
    }
    if (parser.isSet(diffOption)) {
        return diffArchive(parser.value(diffOption), signature, options.json);
    }
    if (parser.isSet(snapshotOption)) {
        return takeSnapshot(parser.isSet(holdOption));
    }
    if (parser.isSet(listOption)) {
        return listSnapshots();
    }
    if (parser.isSet(statusOption)) {
        return showStatus(options.json);
    }
    if (parser.isSet(pendingOption)) {
        return restartPending(options.json);
    }
    if (parser.isSet(rollBackOption)) {
        return rollBackSnapshot(parser.value(rollBackOption));
    }
    return restoreSnapshot(parser.value(restoreOption), options);
}
