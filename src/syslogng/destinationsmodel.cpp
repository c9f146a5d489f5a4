#include "destinationsmodel.h"

#include "destinationkind.h"
#include "model/treeitem.h"

#include <KLocalizedString>

namespace
{
const QString DestinationStatement = QStringLiteral("destination");

void collectRows(const TreeItem *node, QVector<const TreeItem *> &rows)
{
    for (int i = 0; i < node->childCount(); ++i) {
        const TreeItem *child = node->child(i);
        if (node->data(0).toString() == DestinationStatement) {
            rows.append(child);
        }
        collectRows(child, rows);
    }
}

QString firstLine(const QVariant &value)
{
    return value.toString().section(QLatin1Char('\n'), 0, 0);
}
}

DestinationsModel::DestinationsModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

DestinationsModel::~DestinationsModel() = default;

const QMap<QString, QString> &DestinationsModel::kinds()
{
    static const QMap<QString, QString> map = [] {
        QMap<QString, QString> built;
        for (const DestinationKind &kind : DestinationKind::all()) {
            built.insert(kind.displayName.toString(), kind.driver);
        }
        return built;
    }();
    return map;
}

void DestinationsModel::setRoot(std::unique_ptr<TreeItem> root)
{
    beginResetModel();
    m_root = std::move(root);
    rebuildRows();
    endResetModel();
}

void DestinationsModel::rebuildRows()
{
    m_rows.clear();
    if (m_root) {
        collectRows(m_root.get(), m_rows);
    }
}

int DestinationsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int DestinationsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant DestinationsModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows.size()) {
        return QVariant();
    }
    const TreeItem *option = m_rows.at(index.row());
    const DestinationKind *kind = DestinationKind::byDriver(option->data(0).toString());
    switch (index.column()) {
    case 0:
        return kind ? kind->displayName.toString() : option->data(0).toString();
    case 1:
        return option->parentItem()->data(1);
    case 2: {
        const QString line = firstLine(option->data(2));
        return kind ? kind->shownValue(line) : line;
    }
    default:
        return QVariant();
    }
}

QVariant DestinationsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QVariant();
    }
    switch (section) {
    case 0:
        return i18n("Type");
    case 1:
        return i18n("Name");
    case 2:
        return i18n("Value");
    default:
        return QVariant();
    }
}

Qt::ItemFlags DestinationsModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

void DestinationsModel::addStatement(std::unique_ptr<TreeItem> statement)
{
    if (!m_root) {
        return;
    }
    beginResetModel();
    m_root->addDestination(std::move(statement));
    rebuildRows();
    endResetModel();
}

bool DestinationsModel::removeRowStatement(int row)
{
    if (row < 0 || row >= m_rows.size()) {
        return false;
    }
    // The row's own statement, not the first node carrying its name: a source or
    // filter may share the name of a destination.
    TreeItem *statement = m_rows.at(row)->parentItem();
    TreeItem *owner = statement->parentItem();
    const QString name = statement->data(1).toString();
    beginResetModel();
    owner->removeChild(statement->row());
    m_root->removeDestinationLogs(name);
    rebuildRows();
    endResetModel();
    return true;
}

QStringList DestinationsModel::destinationNames() const
{
    QStringList names;
    for (int row = 0; row < m_rows.size(); ++row) {
        names << nameAt(row);
    }
    return names;
}

QStringList DestinationsModel::otherStatementNames() const
{
    QStringList names;
    for (int i = 0; m_root && i < m_root->childCount(); ++i) {
        const TreeItem *statement = m_root->child(i);
        const QString name = statement->data(1).toString();
        const QString kind = statement->data(0).toString();
        if (!name.isEmpty() && kind != DestinationStatement && !kind.contains(QLatin1Char('@'))) {
            names << name;
        }
    }
    return names;
}

QString DestinationsModel::nameAt(int row) const
{
    return row < 0 || row >= m_rows.size() ? QString() : m_rows.at(row)->parentItem()->data(1).toString();
}

bool DestinationsModel::sameContent(const DestinationsModel &other, int role) const
{
    if (rowCount() != other.rowCount() || columnCount() != other.columnCount()) {
        return false;
    }
    for (int row = 0; row < rowCount(); ++row) {
        for (int column = 0; column < columnCount(); ++column) {
            if (data(index(row, column), role) != other.data(other.index(row, column), role)) {
                return false;
            }
        }
    }
    return true;
}
