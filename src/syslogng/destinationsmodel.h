#pragma once

#include "platform/paths.h"

#include <QAbstractTableModel>
#include <QLatin1String>
#include <QMap>

#include <memory>

class TreeItem;

// The destinations of a syslog-ng tree as a table: one row per option of every
// "destination" statement, showing its type, the statement's name and the value.
class DestinationsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The destination of the event records themselves; it can never be removed.
    static constexpr QLatin1String DefaultDestination = Paths::latin1("velta_json_dst");

    explicit DestinationsModel(QObject *parent = nullptr);
    ~DestinationsModel() override;

    // Translated type name -> option kind ("file", "network"), one entry per
    // DestinationKind.
    static const QMap<QString, QString> &kinds();

    // Takes the tree and destroys the previous one.
    void setRoot(std::unique_ptr<TreeItem> root);
    const TreeItem *root() const
    {
        return m_root.get();
    }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Inserts a destination statement with the log statement that feeds it.
    void addStatement(std::unique_ptr<TreeItem> statement);
    // Destroys the destination statement of a row and every log statement that
    // refers to it; false for a row out of range.
    bool removeRowStatement(int row);

    // The names of the destination statements, one per row.
    QStringList destinationNames() const;
    // The names of the other block statements (sources, parsers, ...).
    QStringList otherStatementNames() const;
    QString nameAt(int row) const;

    // Same shape and the same data for role in every cell.
    bool sameContent(const DestinationsModel &other, int role = Qt::DisplayRole) const;

private:
    void rebuildRows();

    std::unique_ptr<TreeItem> m_root;
    QVector<const TreeItem *> m_rows; // Options of destination statements; not owned.
};
