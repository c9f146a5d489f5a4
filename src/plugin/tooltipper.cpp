#include "tooltipper.h"

#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"

#include <KLocalizedString>

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QHelpEvent>
#include <QToolTip>

namespace
{
// The tree item behind an index of the view's model, through any proxies.
const EventTreeItem *sourceItem(const QModelIndex &index)
{
    QModelIndex source = index;
    while (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(source.model())) {
        source = proxy->mapToSource(source);
    }
    const auto *model = qobject_cast<const CheckableTreeModel *>(source.model());
    return model && source.isValid() ? model->itemFromIndex(source) : nullptr;
}

QString identifierText(const EventTreeItem *item)
{
    if (!item || item->kind() != EventTreeItem::Event) {
        return QString();
    }
    const EventTreeItem *messageId = item->findChildById(QStringLiteral("message_id"));
    return messageId ? messageId->data(1).toString() : QString();
}
}

ToolTipper::ToolTipper(QAbstractItemView *view)
    : QObject(view)
{
}

ToolTipper::~ToolTipper() = default;

bool ToolTipper::eventFilter(QObject *object, QEvent *event)
{
    if (event->type() != QEvent::ToolTip) {
        return QObject::eventFilter(object, event);
    }
    auto *view = qobject_cast<QAbstractItemView *>(object->parent());
    const auto *help = static_cast<QHelpEvent *>(event);
    const QModelIndex index = view ? view->indexAt(help->pos()) : QModelIndex();
    if (!index.isValid()) {
        return QObject::eventFilter(object, event);
    }
    const EventTreeItem *item = sourceItem(index);
    const QString identifier = identifierText(item);
    const QString toolTip = index.data(Qt::ToolTipRole).toString();
    if (toolTip.isEmpty() || index.column() != 0) {
        QToolTip::showText(help->globalPos(), identifier, view);
        return true;
    }

    // The mark icons sit side by side after the check box: load first, then
    // notifications.
    const int left = view->visualRect(index).left();
    const int x = help->pos().x();
    const bool onFirstMark = x > left + 29 && x <= left + 46;
    const bool onSecondMark = x > left + 46 && x <= left + 62;
    const QString loadText = i18n("This event generates a large volume of records in the logs");
    const QString notificationText = i18n("Notifications are enabled for this event");
    QString text;
    if (item && item->generatesLoad() && item->notificationsOn()) {
        text = onFirstMark ? loadText : onSecondMark ? notificationText : QString();
    } else if (item && item->generatesLoad()) {
        text = onFirstMark ? loadText : QString();
    } else if (item && item->notificationsOn()) {
        text = onFirstMark ? notificationText : QString();
    }
    if (text.isEmpty()) {
        QToolTip::hideText();
    } else {
        QToolTip::showText(help->globalPos(), text, view);
    }
    return true;
}
