// The tree's context menu and the notification settings of single events.
#include "quoradminevents.h"

#include "ui_quoradminevents.h"

#include "editors/messagebox.h"
#include "eventsproxymodel.h"
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"
#include "model/notifiedevents.h"
#include "notifications/notificationfile.h"
#include "notifications/notifyrcdeployment.h"
#include "platform/paths.h"

#include <KLocalizedString>

#include <QFileInfo>
#include <QMenu>

QString QuorAdminEvents::messageIdOf(const EventTreeItem *event)
{
    const EventTreeItem *messageId = event->findChildById(QStringLiteral("message_id"));
    return messageId ? messageId->data(1).toString() : QString();
}

QModelIndex QuorAdminEvents::selectedEventIndex() const
{
    const QModelIndexList selected = ui->singleEventsView->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        return QModelIndex();
    }
    const QModelIndex source = m_proxy->mapToSource(selected.first());
    return source.sibling(source.row(), 0);
}

void QuorAdminEvents::showContextMenu(const QPoint &pos)
{
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QIcon::fromTheme(QStringLiteral("draw-arrow-up")), i18n("Collapse all"), ui->singleEventsView, &QTreeView::collapseAll);
    menu->addAction(QIcon::fromTheme(QStringLiteral("draw-arrow-down")), i18n("Expand all"), ui->singleEventsView, &QTreeView::expandAll);

    // The row's own item, not a search by its text: two events may share a name.
    const QModelIndex selected = selectedEventIndex();
    const EventTreeItem *event = selected.isValid() ? m_currentModel->itemFromIndex(selected) : nullptr;
    if (event && event->kind() == EventTreeItem::Event && !event->isNotRedirected() && !messageIdOf(event).isEmpty()) {
        // The menu does not block: a reload may replace the tree while it is open.
        // It closes then, and its actions hold the row, which the reload invalidates.
        connect(m_currentModel, &QAbstractItemModel::modelAboutToBeReset, menu, &QMenu::close);
        const QPersistentModelIndex row(selected);
        const auto eventAt = [this, row]() -> EventTreeItem * {
            return row.isValid() ? m_currentModel->itemFromIndex(row) : nullptr;
        };
        if (event->notificationsOn()) {
            menu->addAction(QIcon::fromTheme(QStringLiteral("dialog-cancel")), i18n("Disable notifications sending"), this, [this, eventAt] {
                if (EventTreeItem *item = eventAt()) {
                    switchNotificationsOff(item);
                }
            });
        } else {
            const QIcon icon = QIcon::fromTheme(QStringLiteral("legalmoves"), QIcon::fromTheme(QStringLiteral("notifications")));
            menu->addAction(icon, i18n("Enable notifications sending"), this, [this, eventAt] {
                if (EventTreeItem *item = eventAt()) {
                    openNotificationDialog(item, EnableNotifications);
                }
            });
        }
        QAction *settings = menu->addAction(QIcon::fromTheme(QStringLiteral("dialog-warning")), i18n("Notification settings"), this, [this, eventAt] {
            if (EventTreeItem *item = eventAt()) {
                openNotificationDialog(item, EditNotifications);
            }
        });
        settings->setEnabled(event->notificationsOn());
    }
    menu->popup(ui->singleEventsView->viewport()->mapToGlobal(pos));
}

void QuorAdminEvents::switchNotificationsOff(EventTreeItem *event)
{
    const QString messageId = messageIdOf(event);
    const QString fileId = NotifiedEvents::fileIdentifier(messageId);
    m_pendingFiles.remove(fileId);
    const QString path = NotificationFile::filePath(messageId);
    if (!path.isEmpty()) {
        m_filesToDelete.insert(fileId, path);
    }
    m_currentModel->setData(m_currentModel->indexFromItem(event), QVariant::fromValue(EventTreeItem::NotificationsOff), Qt::DecorationRole);
}

void QuorAdminEvents::openNotificationDialog(EventTreeItem *event, NotificationsDialogType type)
{
    DBusDialog *dialog = dbusDialog();
    dialog->setDialogType(type);
    bool ok = true;
    if (type == EditNotifications) {
        // A change not yet applied wins over the file on disk.
        const QString messageId = messageIdOf(event);
        const QString fileId = NotifiedEvents::fileIdentifier(messageId);
        const QStringList lines = m_pendingFiles.contains(fileId) ? m_pendingFiles.value(fileId) : m_notificationFilesOnDisk.value(fileId);
        ok = dialog->loadStoredSettings(event, lines);
    }
    if (!ok || !dialog->fill(event)) {
        MessageBox::show(this, MessageBox::Kind::Warning, i18n("Error"), dialog->errorString());
        return;
    }
    dialog->show();
}

void QuorAdminEvents::notificationAccepted(const QString &fileId, const QStringList &lines, NotificationsDialogType type)
{
    const QModelIndex event = selectedEventIndex();
    if (!event.isValid()) {
        return;
    }
    m_filesToDelete.remove(fileId);
    m_pendingFiles.insert(fileId, lines);
    const auto state = type == EnableNotifications ? EventTreeItem::NotificationsEnabled : EventTreeItem::NotificationsEdited;
    m_currentModel->setData(event, QVariant::fromValue(state), Qt::DecorationRole);
}

void QuorAdminEvents::repetitionAccepted(bool enabled, int interval)
{
    const QModelIndex selected = selectedEventIndex();
    const EventTreeItem *event = selected.isValid() ? m_currentModel->itemFromIndex(selected) : nullptr;
    const EventTreeItem *repetition = event ? event->findChildById(QStringLiteral("notification_repetition")) : nullptr;
    if (!repetition) {
        return;
    }
    // Through the model, so that the page learns of the change.
    const std::pair<const char *, QString> values[] = {{"enabled", enabled ? QStringLiteral("1") : QStringLiteral("0")},
                                                       {"interval", QString::number(interval)}};
    for (const auto &[id, value] : values) {
        if (EventTreeItem *item = repetition->findChildById(QLatin1String(id))) {
            m_currentModel->setData(m_currentModel->indexFromItem(item, 1), value, Qt::EditRole);
        }
    }
}

void QuorAdminEvents::notificationsUpdated()
{
    if (!QFileInfo::exists(Paths::placed(Paths::RootNotifyrc))) {
        return;
    }
    const NotifyrcDeployment::Report report = NotifyrcDeployment::deploy(Paths::RootNotifyrc, Paths::HomeDir);
    if (!report.error.isEmpty() || !report.skipped.isEmpty()) {
        const QString error = !report.error.isEmpty() ? report.error : report.skipped.join(QLatin1Char('\n'));
        MessageBox::show(this, MessageBox::Kind::Warning, i18n("Error"), i18n("The notification settings were not copied into these places:\n%1", error));
    }
    // Asked by the next Apply, once the other pending edits are written too.
    if (report.copied != 0) {
        m_notificationRebootPending = true;
    }
}
