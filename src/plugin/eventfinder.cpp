#include "eventfinder.h"

#include "ui_eventfinder.h"

#include "eventsproxymodel.h"
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"

#include <KLocalizedString>

#include <QTreeView>

#include <functional>

EventFinder::EventFinder(QTreeView *view, CheckableTreeModel *model, EventsProxyModel *proxy, QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::EventFinder>())
    , m_view(view)
    , m_model(model)
    , m_proxy(proxy)
{
    ui->setupUi(this);
    ui->eventSearch->addAction(QIcon::fromTheme(QStringLiteral("edit-find")), QLineEdit::LeadingPosition);
    ui->eventSearch->setPlaceholderText(i18n("Search"));
    ui->eventSearch->setClearButtonEnabled(true);
    ui->searchPrev->setIcon(QIcon::fromTheme(QStringLiteral("previous"), QIcon::fromTheme(QStringLiteral("go-previous"))));
    ui->searchNext->setIcon(QIcon::fromTheme(QStringLiteral("next"), QIcon::fromTheme(QStringLiteral("go-next"))));
    // The icons alone do not say which way a button steps.
    ui->searchPrev->setToolTip(i18n("Previous match"));
    ui->searchNext->setToolTip(i18n("Next match"));
    for (QToolButton *button : {ui->searchPrev, ui->searchNext}) {
        button->setAutoRaise(true);
        button->setEnabled(false);
    }
    connect(ui->eventSearch, &QLineEdit::textChanged, this, &EventFinder::searchTextChanged);
    connect(ui->searchPrev, &QToolButton::clicked, this, [this] {
        step(-1);
    });
    connect(ui->searchNext, &QToolButton::clicked, this, [this] {
        step(1);
    });
    // A match the administrator selects by hand is where the steps go on from.
    if (m_view->selectionModel()) {
        connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &EventFinder::updateStepButtons);
    }
}

EventFinder::~EventFinder() = default;

void EventFinder::searchTextChanged(const QString &text)
{
    // The tree as the administrator opened it, taken before a search first
    // filters it: the filter drops the open state of every row it hides.
    if (m_searchedText.isEmpty() && !text.isEmpty()) {
        m_stateBeforeSearch = TreeViewState::capture(m_view, m_proxy->persistentIndexes());
    }
    m_searchedText = text;
    m_proxy->setFilterText(text);
    m_view->clearSelection();
    QPalette palette = ui->eventSearch->palette();
    palette.setColor(QPalette::Text, palette.color(QPalette::WindowText));
    const bool found = m_proxy->rowCount() > 0;
    if (!text.isEmpty() && !found) {
        palette.setColor(QPalette::Text, Qt::red);
    }
    ui->eventSearch->setPalette(palette);
    if (text.isEmpty()) {
        if (!m_stateBeforeSearch.isEmpty()) {
            m_stateBeforeSearch.restore(m_view);
            m_stateBeforeSearch = TreeViewState();
        }
        updateStepButtons();
        return;
    }
    const QModelIndexList matchesFound = matches();
    if (matchesFound.isEmpty()) {
        updateStepButtons();
        return;
    }
    showMatch(matchesFound.first());
}

QModelIndexList EventFinder::matches() const
{
    QModelIndexList events;
    std::function<void(const QModelIndex &)> visit = [&](const QModelIndex &parent) {
        for (int row = 0; row < m_proxy->rowCount(parent); ++row) {
            const QModelIndex index = m_proxy->index(row, 0, parent);
            const EventTreeItem *item = m_model->itemFromIndex(m_proxy->mapToSource(index));
            if (item->kind() == EventTreeItem::Event) {
                events.append(index);
            } else if (item->kind() == EventTreeItem::Group) {
                visit(index);
            }
        }
    };
    if (!m_searchedText.isEmpty()) {
        visit(QModelIndex());
    }
    return events;
}

void EventFinder::showMatch(const QModelIndex &index)
{
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent()) {
        m_view->expand(parent);
    }
    QItemSelectionModel *selection = m_view->selectionModel();
    selection->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_view->scrollTo(index);
    updateStepButtons();
}

int EventFinder::currentMatch(const QModelIndexList &found) const
{
    const QModelIndexList selected = m_view->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : int(found.indexOf(selected.first()));
}

void EventFinder::updateStepButtons()
{
    const QModelIndexList found = matches();
    const int current = currentMatch(found);
    // Without a selected match, either way starts at the nearest end.
    ui->searchPrev->setEnabled(!found.isEmpty() && current != 0);
    ui->searchNext->setEnabled(!found.isEmpty() && current != int(found.size()) - 1);
}

void EventFinder::step(int by)
{
    const QModelIndexList found = matches();
    if (found.isEmpty()) {
        return;
    }
    const int current = currentMatch(found);
    const int next = current < 0 ? (by > 0 ? 0 : int(found.size()) - 1) : current + by;
    if (next >= 0 && next < int(found.size())) {
        showMatch(found.at(next));
    }
}
