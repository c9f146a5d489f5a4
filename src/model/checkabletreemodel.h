#pragma once

#include <QAbstractItemModel>
#include <QPixmap>

#include <memory>
#include <vector>

class EditRecord;
class EventTreeItem;

// Shows an event tree: check boxes for groups and events, load and notification
// marks, parameter values, and the custom roles that tell the module which
// editor a parameter needs.
class CheckableTreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Roles {
        VisibleRole = 257,
        FileListRole = 258,
        ParameterRole = 259,
        IdRole = 260,
        DirectoriesRole = 261,
        DirectoryListRole = 262,
        AuditRulesIndexRole = 263,
        EditorRole = 264, // the ParameterEditor::Kind of the item, as an int
    };

    explicit CheckableTreeModel(QObject *parent = nullptr);
    ~CheckableTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Takes ownership of root inside a model reset and hands back the previous
    // tree, so that the caller chooses where its destruction costs time.
    std::unique_ptr<EventTreeItem> setRoot(EventTreeItem *root);
    // Makes this model's tree, a copy of current's, a copy of it once more
    // (EventTreeItem::catchUp()), or a new one where that cannot be; the tree
    // replaced then is what is handed back.
    std::unique_ptr<EventTreeItem> catchUp(CheckableTreeModel &current);
    EventTreeItem *root() const;
    EventTreeItem *itemFromIndex(const QModelIndex &index) const;
    QModelIndex indexFromItem(EventTreeItem *item, int column = 0) const;

    // Rebuilds the audit rule lines of an event from an edited file list; index is
    // the event's audit rules cell (role 263 of the edited parameter).
    bool updateAuditRules(const QModelIndex &index, const QVariant &value);

    // The change test: whether this (current) model holds any value, box or
    // mark other than the saved one. What Apply writes does not depend on it: every edit
    // through setData() marks the items it changed as it happens.
    bool differsFrom(const CheckableTreeModel &saved) const;

    // A parameter of the event's message: its value is the label notifications give it.
    static bool isMessageParameter(const EventTreeItem *item);
    // That label as the administrator reads it: the dictionary's name in the data
    // language, else the package's label without its accelerator "&", else the key.
    static QString messageParameterLabel(const EventTreeItem *param);
    // What the mark icon at position mark (0 the first after the check box,
    // 1 the second) of an event's row stands for; empty where there is none.
    static QString markToolTip(const EventTreeItem *item, int mark);

Q_SIGNALS:
    void notificationChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight, const QVector<int> &roles);
    // An edit was not stored; the text says why.
    void valueRefused(const QString &reason);
    // A value was stored (typed or set by an editor).
    void valueAccepted();

private:
    static bool childrenDiffer(const EventTreeItem *saved, const EventTreeItem *current, int columns);
    // Also lists every item whose box it switched, each noted in the record first.
    void setItemChecked(EventTreeItem *item, bool checked, std::vector<EventTreeItem *> *switched, EditRecord *record);

    std::unique_ptr<EventTreeItem> m_root;
    mutable QPixmap m_combinedMark; // made at its first use
};
