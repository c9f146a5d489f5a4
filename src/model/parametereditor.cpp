#include "parametereditor.h"

#include "eventtreeitem.h"

#include <QLatin1String>
#include <QVector>

#include <algorithm>

namespace ParameterEditor
{
namespace
{
// A parameter's key, and the events (or groups) of which it has to be part;
// an empty list: of any.
struct Row {
    QLatin1String id;
    QVector<QLatin1String> within;
    Kind kind;
};

const QVector<Row> &table()
{
    static const QVector<Row> rows{
        {QLatin1String(".auditd.msg.exe"), {}, Kind::FileList},
        {QLatin1String(".auditd.key"), {QLatin1String("modifying-file"), QLatin1String("file-removal"), QLatin1String("file-opened")}, Kind::FileList},
        {QLatin1String(".auditd.key"), {QLatin1String("modifying-directory")}, Kind::DirectoryList},
        {QLatin1String("directories"), {}, Kind::Directories},
    };
    return rows;
}

bool hasAncestorWithId(const EventTreeItem *item, const QVector<QLatin1String> &ids)
{
    for (const EventTreeItem *ancestor = item->parentItem(); ancestor; ancestor = ancestor->parentItem()) {
        const QString &id = ancestor->id();
        if (std::any_of(ids.begin(), ids.end(), [&id](QLatin1String wanted) {
                return id == wanted;
            })) {
            return true;
        }
    }
    return false;
}
}

Kind kindOf(const EventTreeItem *item)
{
    if (!item) {
        return Kind::None;
    }
    for (const Row &row : table()) {
        if (item->id() == row.id && (row.within.isEmpty() || hasAncestorWithId(item, row.within))) {
            return row.kind;
        }
    }
    return Kind::None;
}
}
