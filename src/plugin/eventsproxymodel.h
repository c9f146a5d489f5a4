#pragma once

#include <QSortFilterProxyModel>

// Filters the event tree by the search text.
class EventsProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit EventsProxyModel(QObject *parent = nullptr);
    ~EventsProxyModel() override;

    void setFilterText(const QString &text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    QString m_filterText;
};
