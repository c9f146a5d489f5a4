// What Apply writes, and whether those files still hold what the page read.

#include "quoradminevents.h"

#include "ui_quoradminevents.h"

#include "editors/changedoutside.h"
#include "editors/reviewchangesdialog.h"
#include "model/checkabletreemodel.h"
#include "model/eventswriter.h"
#include "model/eventtreeitem.h"
#include "model/notifiedevents.h"
#include "platform/fileread.h"
#include "platform/paths.h"

#include <KLocalizedString>

#include <QPushButton>

QStringList QuorAdminEvents::filesOfApply() const
{
    QStringList paths{QString(Paths::EventsFile), QString(Paths::AuditRulesFile)};
    for (const QString &path : std::as_const(m_filesToDelete)) {
        paths << path;
    }
    for (auto it = m_pendingFiles.cbegin(); it != m_pendingFiles.cend(); ++it) {
        paths << NotifiedEvents::filePath(it.key());
    }
    return paths;
}

void QuorAdminEvents::rememberReadFiles(const FileStamp &settingsFile)
{
    m_readFiles.clear();
    m_readFiles.insert(QString(Paths::EventsFile), settingsFile);
    m_readFiles.insert(QString(Paths::AuditRulesFile), FileStamp::current(Paths::placed(Paths::AuditRulesFile)));
    m_readFiles.insert(m_notificationFileStamps);
}

FileStamp QuorAdminEvents::readStamp(const QString &systemPath) const
{
    // A per-event file the page did not find was missing when it read the others.
    return m_readFiles.value(systemPath, FileStamp::missing());
}

std::optional<FileStamp> QuorAdminEvents::expectedStamp(const QString &systemPath) const
{
    const FileStamp read = readStamp(systemPath);
    return read.isKnown() ? std::optional<FileStamp>(read) : std::nullopt;
}

bool QuorAdminEvents::filesOfApplyUnchanged()
{
    const QStringList paths = filesOfApply();
    for (const QString &path : paths) {
        const FileStamp read = readStamp(path);
        // A file that could not be read at all is the question of mayReplaceSettingsFile().
        if (!read.isKnown() || read.matches(Paths::placed(path))) {
            continue;
        }
        if (ChangedOutside::askReload(this, path, ChangedOutside::Where::Page)) {
            load();
        } else {
            // The settings centre marks the page saved once Apply returns.
            QMetaObject::invokeMethod(this, &QuorAdminEvents::checkChanges, Qt::QueuedConnection);
        }
        return false;
    }
    return true;
}

QList<CheckedWrite::Change> QuorAdminEvents::notificationChanges() const
{
    QList<CheckedWrite::Change> changes;
    for (const QString &path : std::as_const(m_filesToDelete)) {
        changes << CheckedWrite::Change{path, QByteArray(), true, expectedStamp(path)};
    }
    for (auto it = m_pendingFiles.cbegin(); it != m_pendingFiles.cend(); ++it) {
        QByteArray text;
        for (const QString &line : it.value()) {
            text += line.toUtf8();
            text += '\n';
        }
        const QString path = NotifiedEvents::filePath(it.key());
        changes << CheckedWrite::Change{path, text, false, expectedStamp(path)};
    }
    return changes;
}

QList<UnifiedDiff::File> QuorAdminEvents::filesOfApply(const QList<CheckedWrite::Change> &changes, const EventsWriter &writer)
{
    QList<UnifiedDiff::File> files;
    const auto add = [&files](const QString &systemPath, bool remove, const QByteArray &wanted) {
        const FileRead::Result current = FileRead::regular(Paths::placed(systemPath), FileRead::ConfigLimit);
        files << UnifiedDiff::File{systemPath, current.ok, current.data, remove, wanted};
    };
    add(QString(Paths::EventsFile), false, writer.preparedSettings());
    add(QString(Paths::AuditRulesFile), false, writer.preparedAuditRules());
    for (const CheckedWrite::Change &change : changes) {
        add(change.systemPath, change.remove, change.content);
    }
    return files;
}

void QuorAdminEvents::addReviewButton(QBoxLayout *buttons, int index)
{
    auto *review = new QPushButton(QIcon::fromTheme(QStringLiteral("document-preview")), i18n("Review changes..."), this);
    review->setObjectName(QStringLiteral("reviewChangesButton"));
    review->setToolTip(i18n("The exact changes Apply would write to each file"));
    review->setStyleSheet(ui->commonSettingsButton->styleSheet());
    buttons->insertWidget(index, review);
    connect(review, &QPushButton::clicked, this, &QuorAdminEvents::reviewChanges);
}

void QuorAdminEvents::reviewChanges()
{
    EventsWriter writer(Paths::placed(Paths::EventsFile), Paths::placed(Paths::AuditRulesFile));
    writer.prepare(m_currentModel->root(), settingsAsRead());
    ReviewChangesDialog dialog(this);
    dialog.setFiles(filesOfApply(notificationChanges(), writer));
    dialog.exec();
}
