// Loading, saving and applying.
#include "quoradminevents.h"

#include "model/checkabletreemodel.h"
#include "model/eventswriter.h"
#include "model/eventtreeitem.h"
#include "model/notifiedevents.h"
#include "model/singleeventsparser.h"
#include "platform/configsnapshot.h"
#include "platform/filewrite.h"
#include "platform/paths.h"
#include "services/rebootrequest.h"
#include "services/snghandler.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMessageBox>
#include <QTextStream>

#include <cstdlib>

namespace
{
const QString PerEventFilePrefix = QFileInfo(Paths::PerEventFilePrefix).fileName();
const QString PerEventFileSuffix = QStringLiteral(".conf");

bool eventSettingsPresent()
{
    const QDir dir(Paths::placed(Paths::EventSettingsDir));
    return dir.exists() && !dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System).isEmpty();
}
}

void QuorAdminEvents::load()
{
    if (!eventSettingsPresent()) {
        QMessageBox::critical(
            this,
            i18n("No event configuration detected"),
            i18n("The directory \"%1\" does not exist or is empty.\nThe application cannot continue and will be terminated.", QString(Paths::EventSettingsDir)),
            QMessageBox::Ok);
        ::exit(-1);
    }

    m_filesToDelete.clear();
    m_notificationFilesOnDisk.clear();
    m_pendingFiles.clear();
    readNotificationFilesOnDisk();
    NotifiedEvents::rebuild();

    SingleEventsParser parser(Paths::placed(Paths::EventsFile));
    EventTreeItem *tree = parser.parse();
    std::unique_ptr<EventTreeItem> savedTree = tree->clone();
    m_currentModel->setRoot(tree);
    m_savedModel->setRoot(savedTree.release());

    // A fresh watcher at every load: change notices of our own writes that are
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

    updateServiceStatus();
    // The page now shows what is on disk.
    Q_EMIT changed(false);
}

void QuorAdminEvents::save()
{
    ConfigSnapshot::take();
    if (m_watcher) {
        m_watcher->disconnect(this);
    }

    for (const QString &path : std::as_const(m_filesToDelete)) {
        QFile file(Paths::placed(path));
        if (file.exists() && !file.remove()) {
            QMessageBox::critical(nullptr, i18n("Error"), i18n("The file %1 could not be deleted", path), QMessageBox::Ok);
        }
    }

    for (auto it = m_pendingFiles.cbegin(); it != m_pendingFiles.cend(); ++it) {
        const QString path = QString(Paths::PerEventFilePrefix) + NotifiedEvents::fileIdentifier(it.key()) + PerEventFileSuffix;
        QByteArray text;
        for (const QString &line : it.value()) {
            text += line.toUtf8() + '\n';
        }
        if (!FileWrite::replaceFile(Paths::placed(path), text)) {
            QMessageBox::critical(nullptr, i18n("Error"), i18n("The file %1 could not be opened", path), QMessageBox::Ok);
        }
    }

    NotifiedEvents::rebuild();

    EventsWriter writer(Paths::placed(Paths::EventsFile), Paths::placed(Paths::AuditRulesFile));
    writer.write(m_currentModel->root());
    const QStringList errors = writer.errors();
    if (!errors.isEmpty()) {
        QMessageBox::warning(this, i18n("Error"), errors.join(QLatin1Char('\n')), QMessageBox::Ok);
    }

    if (writer.auditChanged() || m_rebootPending) {
        m_rebootPending = false;
        offerReboot(i18n("The audit settings will take effect only after the system is rebooted.\nReboot now?"));
    }

    SngHandler::instance()->syslogNgRestart();
    load();
}

void QuorAdminEvents::reloadOnFileChange()
{
    if (m_reloading) {
        return;
    }
    m_reloading = true;
    load();
    m_reloading = false;
}

void QuorAdminEvents::readNotificationFilesOnDisk()
{
    const QDir dir(Paths::placed(Paths::SyslogNgConfDir));
    const QStringList names = dir.entryList({PerEventFilePrefix + QLatin1Char('*') + PerEventFileSuffix}, QDir::Files | QDir::Hidden, QDir::Unsorted);
    for (const QString &name : names) {
        QFile file(dir.filePath(name));
        // One unreadable file must not hide the others.
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            continue;
        }
        QStringList lines;
        QTextStream stream(&file);
        stream.setCodec("UTF-8");
        while (!stream.atEnd()) {
            lines << stream.readLine();
        }
        const QString fileId = name.mid(PerEventFilePrefix.size(), name.size() - PerEventFilePrefix.size() - PerEventFileSuffix.size());
        // Keyed as on disk: turning "-" back into "_" would confuse identifiers that hold "-".
        m_notificationFilesOnDisk.insert(fileId, lines);
    }
}
