// What syslog-ng refuses in the configuration on disk, found when the page
// opens, and how Apply goes on when the refusal is that old one.
#include "quoradminevents.h"

#include "quoradmineventslog.h"

#include "ui_quoradminevents.h"

#include "editors/messagebox.h"
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"
#include "model/notifiedevents.h"
#include "platform/asyncprocess.h"
#include "platform/configcheck.h"
#include "platform/folderentries.h"
#include "platform/paths.h"

#include <KLocalizedString>
#include <KMessageWidget>

#include <algorithm>

const EventTreeItem *QuorAdminEvents::eventOfFile(const EventTreeItem *item, const QString &systemPath)
{
    // The root and the groups hold the events; the events hold parameters only.
    for (int row = 0; row < item->childCount(); ++row) {
        const EventTreeItem *child = item->child(row);
        if (child->kind() == EventTreeItem::Group) {
            if (const EventTreeItem *event = eventOfFile(child, systemPath)) {
                return event;
            }
        } else if (child->kind() == EventTreeItem::Event && NotifiedEvents::filePath(messageIdOf(child)) == systemPath && !messageIdOf(child).isEmpty()) {
            return child;
        }
    }
    return nullptr;
}

void QuorAdminEvents::checkConfigurationOnDisk()
{
    // A second check replaces the first: its answer is the newer one.
    m_diskCheckProcess->abandon();
    ConfigCheck::syslogNg(Paths::placed(Paths::SyslogNgConfDir), m_diskCheckProcess->runner(), [this](const ConfigCheck::Result &check) {
        showDiskProblem(check.accepted ? QString() : check.message);
    });
}

QString QuorAdminEvents::refusedFileOf(const QString &message)
{
    // syslog-ng and the checks name the file with its line: "<path>:<line>".
    const QString folder = Paths::placed(Paths::SyslogNgConfDir);
    const QStringList names = FolderEntries::names(folder, {QStringLiteral("*.conf")}, QDir::Files);
    for (const QString &name : names) {
        const QString systemPath = QString(Paths::SyslogNgConfDir) + QLatin1Char('/') + name;
        if (message.contains(systemPath + QLatin1Char(':')) || message.contains(Paths::placed(systemPath) + QLatin1Char(':'))) {
            return systemPath;
        }
    }
    return QString();
}

void QuorAdminEvents::showDiskProblem(const QString &refusal)
{
    m_diskProblem = refusal;
    m_diskProblemFile = refusal.isEmpty() ? QString() : refusedFileOf(refusal);
    if (refusal.isEmpty()) {
        m_diskProblemMessage->animatedHide();
        return;
    }
    qCWarning(QUOR_ADMIN_EVENTS).noquote() << "syslog-ng refuses the configuration on disk:" << refusal;
    m_diskProblemMessage->setText(i18n("syslog-ng refuses the configuration on disk: the logging service would not start with it.\n%1\n\n%2",
                                       QString(refusal).replace(Paths::placed(Paths::SyslogNgConfDir), QString(Paths::SyslogNgConfDir)),
                                       diskProblemAdvice()));
    m_diskProblemMessage->animatedShow();
}

QString QuorAdminEvents::diskProblemAdvice() const
{
    if (m_diskProblemFile.isEmpty()) {
        return i18n("Correct the configuration where syslog-ng names it.");
    }
    if (const EventTreeItem *event = eventOfFile(m_savedModel->root(), m_diskProblemFile)) {
        return i18n(
            "The file %1 sends the notifications of the event \"%2\": switch its notifications off (the event's context menu) and apply, "
            "which removes the file.",
            m_diskProblemFile,
            event->data(0).toString());
    }
    return i18n("Correct or remove the file %1.", m_diskProblemFile);
}

void QuorAdminEvents::checkSyslogNgOfApply(const QList<CheckedWrite::Change> &changes, const std::function<void(bool keepLogging)> &goOn)
{
    CheckedWrite::checkSyslogNg(changes, m_applyProcess->runner(), [this, changes, goOn](const ConfigCheck::Result &check) {
        if (check.accepted) {
            return goOn(false);
        }
        // A refusal of a file on disk that this Apply leaves as it is must not
        // block every change: the change is judged without that file.
        const QString oldFile = m_diskProblemFile;
        const bool untouched = !oldFile.isEmpty() && std::none_of(changes.cbegin(), changes.cend(), [&oldFile](const CheckedWrite::Change &change) {
            return change.systemPath == oldFile;
        });
        if (!untouched) {
            return stopApply(check.message); // the snapshot is not kept
        }
        QList<CheckedWrite::Change> withoutOldFile = changes;
        withoutOldFile << CheckedWrite::Change{oldFile, QByteArray(), true, std::nullopt};
        CheckedWrite::checkSyslogNg(withoutOldFile, m_applyProcess->runner(), [this, oldFile, goOn](const ConfigCheck::Result &alone) {
            if (!alone.accepted) {
                return stopApply(alone.message); // a problem of the change's own
            }
            const QString question = i18n(
                "syslog-ng already refuses the configuration on disk because of the file %1. This change leaves that file as it is, so the "
                "problem remains: the change is written, but the logging service is not restarted until the problem is fixed.\n\n%2\n\n"
                "Write the change?",
                oldFile,
                diskProblemAdvice());
            if (!MessageBox::confirm(this, i18n("Problem on disk"), question)) {
                return stopApply();
            }
            goOn(true);
        });
    });
}
