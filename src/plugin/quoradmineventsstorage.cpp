// Loading, saving and applying.

#include "editors/plaintext.h"
#include "quoradminevents.h"
#include "quoradmineventslog.h"

#include "editors/busycursor.h"
#include "editors/messagebox.h"
#include "editors/problemsmessage.h"
#include "editors/reviewchangesdialog.h"
#include "editors/snapshotbeforewrite.h"
#include "eventsproxymodel.h"
#include "model/checkabletreemodel.h"
#include "model/eventswriter.h"
#include "model/eventtreeitem.h"
#include "model/notifiedevents.h"
#include "model/singleeventsparser.h"
#include "notifications/notificationcatalogue.h"
#include "platform/asyncprocess.h"
#include "platform/checkedwrite.h"
#include "platform/fileread.h"
#include "platform/folderentries.h"
#include "platform/paths.h"
#include "services/rebootrequest.h"
#include "services/snghandler.h"
#include "treeviewstate.h"

#include "ui_quoradminevents.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QTextStream>

#include <cstdlib>
#include <functional>
#include <memory>
#include <sys/stat.h>

namespace
{

// When a folder's entries last changed, in nanoseconds; -1 when it cannot be
// told. Read from stat: a local date made of each time costs more than the call.
qint64 modifiedNs(const QString &systemPath)
{
    struct stat status;
    if (::stat(QFile::encodeName(Paths::placed(systemPath)).constData(), &status) != 0) {
        return -1;
    }
    return qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

// The modification times of the package folder and of its group folders: a
// package update replaces files (new names, renames), which changes them.
std::vector<qint64> packageStamp(const EventTreeItem *root)
{
    std::vector<qint64> times{modifiedNs(Paths::EventSettingsDir)};
    std::function<void(const EventTreeItem *)> visit = [&](const EventTreeItem *item) {
        for (int row = 0; row < item->childCount(); ++row) {
            const EventTreeItem *group = item->child(row);
            if (group->kind() == EventTreeItem::Group) {
                times.push_back(modifiedNs(group->id()));
                visit(group);
            }
        }
    };
    visit(root);
    return times;
}

bool eventSettingsPresent()
{
    const FolderEntries listing = FolderEntries::read(Paths::placed(Paths::EventSettingsDir));
    return !listing.entries.isEmpty() || !listing.undecodable.isEmpty();
}

// Keeps what stands at a system path beside it under a free name
// "<path>.unreadable[.<n>]". A regular file is copied; what cannot be (a FIFO,
// a folder, a link loop) is moved. The system path of the copy, or empty when
// it could not be made.
QString keepAside(const QString &systemPath)
{
    const QString base = systemPath + QLatin1String(".unreadable");
    QString aside = base;
    for (int n = 1; QFileInfo(Paths::placed(aside)).exists() || QFileInfo(Paths::placed(aside)).isSymLink(); ++n) {
        aside = base + QLatin1Char('.') + QString::number(n);
    }
    const QString placed = Paths::placed(systemPath);
    const bool kept = QFileInfo(placed).isFile() ? QFile::copy(placed, Paths::placed(aside)) : QDir().rename(placed, Paths::placed(aside));
    if (!kept) {
        qCWarning(QUOR_ADMIN_EVENTS).noquote() << placed << "could not be kept as" << Paths::placed(aside);
    }
    return kept ? aside : QString();
}
}

void QuorAdminEvents::load()
{
    // Without the rights the page only says so.
    if (!m_missingRights.isEmpty()) {
        return;
    }
    if (!eventSettingsPresent()) {
        qCWarning(QUOR_ADMIN_EVENTS).noquote() << Paths::placed(Paths::EventSettingsDir) << "is missing or empty; the module ends";
        MessageBox::show(this,
                         MessageBox::Kind::Error,
                         i18n("No event configuration detected"),
                         i18n("The directory \"%1\" does not exist or is empty.\nThe application cannot continue and will be terminated.",
                              QString(Paths::EventSettingsDir)));
        ::exit(-1);
    }

    m_filesToDelete.clear();
    m_notificationFilesOnDisk.clear();
    m_pendingFiles.clear();
    // What asked for a reboot was discarded with the page's other edits.
    m_rebootPending = false;
    m_notificationRebootPending = false;
    const QStringList notificationProblems = readNotificationFilesOnDisk();
    NotifiedEvents::rebuild();

    // After Apply or a reload the administrator finds the tree as they left it.
    const TreeViewState viewState = TreeViewState::capture(ui->singleEventsView, m_proxy->persistentIndexes());
    SingleEventsParser parser(Paths::placed(Paths::EventsFile));
    EventTreeItem *tree = parser.parse();
    QStringList problems = notificationProblems;
    if (!parser.errorString().isEmpty()) {
        problems.prepend(parser.errorString());
    }
    m_settingsFileDamaged = parser.damaged();
    m_settingsReadWhole = !parser.damaged();
    m_loadedCleanly = problems.isEmpty();
    // The catalogue is read once per process; what it could not take is named
    // with the rest, though it concerns no file the page writes.
    NotificationCatalogue &catalogue = NotificationCatalogue::instance();
    catalogue.load();
    problems << catalogue.problems();
    m_problems->setProblems(problems.join(QLatin1Char('\n')));
    std::unique_ptr<EventTreeItem> savedTree = tree->clone();
    destroyInBackground(m_currentModel->setRoot(tree));
    destroyInBackground(m_savedModel->setRoot(savedTree.release()));
    if (!viewState.isEmpty()) {
        viewState.restore(ui->singleEventsView);
    }
    showEventsMissingFromPackage();
    rememberReadFiles(parser.stamp());
    watchSettings();
    updateServiceStatus();
    // Once, when the page opens: Apply and import check what they write.
    if (!m_diskChecked) {
        m_diskChecked = true;
        checkConfigurationOnDisk();
    }
    // The page now shows what is on disk.
    Q_EMIT changed(false);
}

void QuorAdminEvents::watchSettings()
{
    // A fresh watcher every time: change notices of our own writes that are
    // still queued when save reconnects go away with the old one.
    if (m_watcher) {
        m_watcher->disconnect(this);
        if (m_reloading) {
            m_watcher->deleteLater(); // it is emitting the signal that runs this load
        } else {
            delete m_watcher;
        }
    }
    m_watcher = new QFileSystemWatcher({Paths::placed(Paths::EventSettingsDir)}, this);
    const QString eventsFile = Paths::placed(Paths::EventsFile);
    if (QFile::exists(eventsFile)) {
        m_watcher->addPath(eventsFile);
    }
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &QuorAdminEvents::reloadOnFileChange);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, &QuorAdminEvents::reloadOnFileChange);
    m_packageStamp = packageStamp(m_savedModel->root());
}

bool QuorAdminEvents::onlyOwnWritesSinceLoad(const QByteArray &writtenSettings) const
{
    // The problems shown may concern the file just replaced: a new parse tells.
    if (!m_loadedCleanly || packageStamp(m_savedModel->root()) != m_packageStamp) {
        return false;
    }
    const FileRead::Result onDisk = FileRead::regular(Paths::placed(Paths::EventsFile), FileRead::ConfigLimit);
    return onDisk.ok && onDisk.data == writtenSettings;
}

void QuorAdminEvents::keepWrittenTree()
{
    // What was pending is on disk now.
    m_filesToDelete.clear();
    m_pendingFiles.clear();
    m_notificationFilesOnDisk.clear();
    readNotificationFilesOnDisk();
    // The marks follow the written values and notification files, as a new parse would.
    SingleEventsParser::markEvents(m_currentModel->root());
    destroyInBackground(m_savedModel->catchUp(*m_currentModel));
    rememberReadFiles(FileStamp::current(Paths::placed(Paths::EventsFile)));
    watchSettings();
    updateServiceStatus();
    Q_EMIT changed(false);
}

bool QuorAdminEvents::mayReplaceSettingsFile()
{
    const QString path = Paths::EventsFile;
    const QFileInfo onDisk(Paths::placed(path));
    if (!m_settingsFileDamaged || !(onDisk.exists() || onDisk.isSymLink())) {
        return true;
    }
    if (!MessageBox::confirm(this,
                             i18n("Warning!"),
                             i18n("The file %1 could not be read whole (see the message above the events).\n"
                                  "Apply replaces it with the settings shown; a copy of the present file is kept beside it.\n"
                                  "Replace it?",
                                  path))) {
        return false;
    }
    if (keepAside(path).isEmpty()) {
        MessageBox::show(this, MessageBox::Kind::Error, i18n("Error"), i18n("No copy of the file %1 could be kept; it was not replaced.", path));
        return false;
    }
    m_settingsFileDamaged = false;
    return true;
}

void QuorAdminEvents::save()
{
    // One Apply at a time: the page's controls stay disabled until it ends.
    // Without the rights nothing is written.
    if (m_applying || !m_missingRights.isEmpty()) {
        return;
    }
    if (!mayReplaceSettingsFile() || !filesOfApplyUnchanged()) {
        Q_EMIT applyFinished();
        return;
    }
    // The page tells of this Apply only.
    clearMessage();
    // The syslog-ng files of this Apply are checked together with the rest of
    // the folder before any of them is used; a refused set leaves every file
    // as it was and the page unsaved.
    const QList<CheckedWrite::Change> changes = notificationChanges();
    const auto writer = std::make_shared<EventsWriter>(Paths::placed(Paths::EventsFile), Paths::placed(Paths::AuditRulesFile));
    // Reviewed first, the files are written from the very bytes shown.
    const bool reviewed = ReviewChangesDialog::alwaysBeforeWriting();
    if (reviewed) {
        writer->prepare(m_currentModel->root(), settingsAsRead());
        if (!ReviewChangesDialog::confirm(this, i18n("Review changes"), i18n("Apply"), filesOfApply(changes, *writer))) {
            // The settings centre marks the page saved once this returns.
            QMetaObject::invokeMethod(this, &QuorAdminEvents::checkChanges, Qt::QueuedConnection);
            Q_EMIT applyFinished();
            return;
        }
    }
    setApplying(true);
    // syslog-ng reads the configuration in a process of its own: meanwhile the
    // settings files are built here, to be written once it has accepted, and
    // the configuration manager reads the files as they are for a snapshot.
    m_heldSnapshot = std::make_unique<ConfigSnapshot::Held>();
    checkSyslogNgOfApply(changes, [this, changes, writer](bool keepLogging) {
        // Kept only now that the change is going to be written; the restart
        // goes back to it if syslog-ng refuses the new files.
        const auto keep = [held = m_heldSnapshot.get()](const ConfigSnapshot::Done &kept) {
            held->keep(kept);
        };
        snapshotBeforeWrite(this, keep, [this, changes, writer, keepLogging](bool goOn, const QString &snapshot) {
            if (!goOn) {
                return stopApply();
            }
            m_loggingKept = keepLogging;
            writeApply(changes, *writer, snapshot);
        });
    });
    if (!m_applying) {
        return; // refused before syslog-ng ran
    }
    if (!reviewed) {
        writer->prepare(m_currentModel->root(), settingsAsRead());
    }
    for (const QString &path : {QString(Paths::EventsFile), QString(Paths::AuditRulesFile)}) {
        const FileStamp stamp = readStamp(path);
        if (stamp.isKnown()) {
            writer->expect(Paths::placed(path), stamp);
        }
    }
}

const EventTreeItem *QuorAdminEvents::settingsAsRead() const
{
    return m_settingsReadWhole ? m_savedModel->root() : nullptr;
}

void QuorAdminEvents::setApplying(bool applying)
{
    m_applying = applying;
    // Nothing may change what is being written, nor start a second Apply.
    ui->singleEventsView->setEnabled(!applying);
    ui->commonSettingsButton->setEnabled(!applying);
    // Nor stop or start the services that Apply restarts: the button waits
    // for Apply, as it waits for the first status answer.
    ui->sngStartStopButton->setEnabled(!applying && m_shownStatusQuery != 0);
    showBusyCursor(this, applying);
}

void QuorAdminEvents::stopApply(const QString &refusal)
{
    if (!refusal.isEmpty()) {
        MessageBox::show(this, MessageBox::Kind::Error, i18n("Error"), i18n("%1\n\nNothing was saved and syslog-ng was not restarted.", refusal));
    }
    // The settings centre marked the page saved when save() returned.
    QMetaObject::invokeMethod(this, &QuorAdminEvents::checkChanges, Qt::QueuedConnection);
    const bool reloadMissed = m_reloadMissed;
    endApply();
    if (reloadMissed) {
        reloadOnFileChange();
    }
}

void QuorAdminEvents::endApply()
{
    setApplying(false);
    m_loggingKept = false;
    m_heldSnapshot.reset();
    // This Apply's own load() has read what changed meanwhile.
    m_reloadMissed = false;
    Q_EMIT applyFinished();
}

void QuorAdminEvents::writeApply(const QList<CheckedWrite::Change> &changes, EventsWriter &writer, const QString &snapshot)
{
    QStringList written; // system paths, for the report in the page
    // What the services read now, to restart only those whose files change.
    const QByteArray settingsBefore = FileRead::regular(Paths::placed(Paths::EventsFile), FileRead::ConfigLimit).data;
    const QByteArray rulesBefore = FileRead::regular(Paths::placed(Paths::AuditRulesFile), FileRead::ConfigLimit).data;
    QStringList changed;
    const ConfigCheck::Result syslogNgWritten = CheckedWrite::writeSyslogNg(changes, &changed);
    if (!syslogNgWritten.accepted) {
        return stopApply(syslogNgWritten.message);
    }

    // The report names only the files whose bytes changed.
    for (const CheckedWrite::Change &change : changes) {
        if (!change.remove && changed.contains(change.systemPath)) {
            written << change.systemPath;
        }
    }

    if (m_watcher) {
        m_watcher->disconnect(this);
    }

    NotifiedEvents::rebuild();

    writer.commit();
    const QStringList errors = writer.errors();
    if (!errors.isEmpty()) {
        MessageBox::show(this, MessageBox::Kind::Warning, i18n("Error"), errors.join(QLatin1Char('\n')));
    }
    for (const auto &[path, before] : {std::pair{QString(Paths::EventsFile), settingsBefore}, std::pair{QString(Paths::AuditRulesFile), rulesBefore}}) {
        if (FileRead::regular(Paths::placed(path), FileRead::ConfigLimit).data != before) {
            changed << path;
            written << path;
        }
    }

    // One question for every reason this Apply gives, once everything is written.
    QStringList reasons;
    if (writer.auditChanged()) {
        reasons << i18n("The audit settings will take effect only after the system is rebooted.");
    }
    if (m_rebootPending || m_notificationRebootPending) {
        reasons << i18n("The notification settings will take effect only after the system is rebooted.");
    }
    m_rebootPending = false;
    m_notificationRebootPending = false;
    const QByteArray writtenSettings = writer.writtenSettings();
    const auto conclude = [this, errors, written, changed, snapshot, writtenSettings](const QString &rebootFailure) {
        concludeApply(errors, written, changed, snapshot, writtenSettings, rebootFailure);
    };
    if (!reasons.isEmpty()) {
        const QString question = reasons.join(QLatin1Char('\n')) + QLatin1Char('\n') + i18n("Reboot now?");
        // No is the default: Enter must not reboot the machine.
        if (MessageBox::confirm(this, i18n("Reboot"), question)) {
            return requestReboot(m_applyProcess, conclude);
        }
    }
    conclude(QString());
}

void QuorAdminEvents::concludeApply(const QStringList &errors,
                                    const QStringList &written,
                                    const QStringList &changed,
                                    const QString &snapshot,
                                    const QByteArray &writtenSettings,
                                    const QString &rebootFailure)
{
    // The events of the settings file that the package lacks are written back
    // as they were, so the note about them stays true.
    if (errors.isEmpty() && onlyOwnWritesSinceLoad(writtenSettings)) {
        keepWrittenTree();
    } else {
        load();
    }
    // Said in the page, so that the administrator knows Apply did its work;
    // the restart's outcome replaces it.
    SngHandler::Units units = SngHandler::unitsReading(changed);
    // syslog-ng would not start with a file that is still refused.
    const bool loggingKept = m_loggingKept && units.testFlag(SngHandler::Logging);
    if (loggingKept) {
        units.setFlag(SngHandler::Logging, false);
    }
    const bool restarting = units != SngHandler::Units();
    QString result;
    if (!errors.isEmpty()) {
        result = i18n("Not everything was applied: %1", errors.join(QLatin1Char(' ')));
    } else if (written.isEmpty()) {
        result = i18n("Applied. No file needed a change.");
    } else {
        result = i18n("Applied. Written: %1.", written.join(QLatin1String(", ")));
    }
    QString notes;
    if (loggingKept) {
        notes += QLatin1Char('\n') + i18n("The logging service was not restarted: syslog-ng still refuses the configuration on disk.");
    }
    if (!rebootFailure.isEmpty()) {
        notes += QLatin1Char('\n') + i18n("The reboot could not be requested: %1", rebootFailure);
    }
    const QString summary = result + notes;
    const bool fine = errors.isEmpty() && rebootFailure.isEmpty() && !loggingKept;
    showMessage(fine ? KMessageWidget::Positive : KMessageWidget::Error,
                restarting && errors.isEmpty() ? result + QLatin1Char(' ') + i18n("The logging service is being restarted.") + notes : summary);
    restartFor(units, snapshot, summary);
    // What was refused on disk may be gone now.
    if (!m_diskProblem.isEmpty()) {
        checkConfigurationOnDisk();
    }
    endApply();
}

void QuorAdminEvents::showEventsMissingFromPackage()
{
    QStringList ids;
    const QList<EventsWriter::KeptEvent> kept = EventsWriter::eventsMissingFromTree(Paths::placed(Paths::EventsFile), m_savedModel->root());
    for (const EventsWriter::KeptEvent &event : kept) {
        ids << event.id;
    }
    m_missingEventsLabel->setVisible(!ids.isEmpty());
    m_missingEventsLabel->setText(i18np("The saved settings of one event were not found in the package; they are kept as they are.",
                                        "The saved settings of %1 events were not found in the package; they are kept as they are.",
                                        ids.size()));
    m_missingEventsLabel->setToolTip(shownPlain(ids.join(QLatin1Char('\n'))));
}

void QuorAdminEvents::reloadOnFileChange()
{
    // Apply reads the files again when it has written; one it stops early
    // reloads then.
    if (m_applying) {
        m_reloadMissed = true;
        return;
    }
    m_reloadMissed = false;
    if (m_reloading) {
        return;
    }
    m_reloading = true;
    load();
    m_reloading = false;
}

QStringList QuorAdminEvents::readNotificationFilesOnDisk()
{
    // Every entry of the name, whatever it is: one that is not a regular file
    // would be passed over here and block syslog-ng, so it is named.
    QStringList problems;
    m_notificationFileStamps.clear();
    const QStringList names = NotifiedEvents::fileNames(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        const QString systemPath = QString(Paths::SyslogNgConfDir) + QLatin1Char('/') + name;
        const QString path = Paths::placed(systemPath);
        const FileRead::Result raw = FileRead::regular(path, FileRead::SmallFileLimit);
        // What Apply compares the file with before it replaces or deletes it.
        m_notificationFileStamps.insert(systemPath, raw.ok ? FileStamp::ofRead(path, raw.data) : raw.missing ? FileStamp::missing() : FileStamp());
        // One unreadable file must not hide the others.
        const FileRead::Text read = FileRead::decoded(raw);
        if (!read.ok) {
            const QString problem = systemPath + QLatin1String(": ") + read.error;
            qCWarning(QUOR_ADMIN_EVENTS).noquote() << problem;
            problems << problem;
            continue;
        }
        QStringList lines = read.text.split(QLatin1Char('\n'));
        if (lines.constLast().isEmpty()) {
            lines.removeLast();
        }
        for (QString &line : lines) {
            if (line.endsWith(QLatin1Char('\r'))) {
                line.chop(1);
            }
        }
        const QString fileId = NotifiedEvents::identifierOfFileName(name);
        // Keyed as on disk: turning "-" back into "_" would confuse identifiers that hold "-".
        m_notificationFilesOnDisk.insert(fileId, lines);
    }
    return problems;
}
