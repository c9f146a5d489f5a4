#include "tooltipper.h"

#include "editors/plaintext.h"
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"

#include <QAbstractItemView>
#include <QAbstractProxyModel>
#include <QHelpEvent>
#include <QStyle>
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

// What names the item in the files: an event's notification identifier, the
// key of a parameter that is shown by its name.
QString identifierText(const EventTreeItem *item)
{
    if (!item) {
        return QString();
    }
    if (item->kind() == EventTreeItem::Group) {
        return QString();
    }
    if (item->kind() != EventTreeItem::Event) {
        return item->name().isEmpty() || item->name() == item->id() ? QString() : item->id();
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
    if (index.column() != 0) {
        // A value the column cuts off (long audit rules) is read whole here.
        const QString shown = index.data(Qt::DisplayRole).toString();
        const int room = view->visualRect(index).width() - 2 * view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) - 1;
        QToolTip::showText(help->globalPos(), shownPlain(view->fontMetrics().horizontalAdvance(shown) > room ? shown : identifier), view);
        return true;
    }
    const QString toolTip = index.data(Qt::ToolTipRole).toString();
    if (toolTip.isEmpty()) {
        QToolTip::showText(help->globalPos(), shownPlain(identifier), view);
        return true;
    }

    // The mark icons sit side by side after the check box.
    const int left = view->visualRect(index).left();
    const int x = help->pos().x();
    const int mark = x > left + 29 && x <= left + 46 ? 0 : x > left + 46 && x <= left + 62 ? 1 : -1;
    QString text = CheckableTreeModel::markToolTip(item, mark);
    // Beside the marks, the row says what it says elsewhere.
    if (text.isEmpty()) {
        text = identifier;
    }
    if (text.isEmpty()) {
        QToolTip::hideText();
    } else {
        QToolTip::showText(help->globalPos(), shownPlain(text), view);
    }
    return true;
}
