#include "eventfinder.h"

#include "ui_eventfinder.h"

#include "eventsproxymodel.h"

#include <KLocalizedString>

#include <QTreeView>

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
    for (QToolButton *button : {ui->searchPrev, ui->searchNext}) {
        button->setAutoRaise(true);
        button->setEnabled(false);
    }
    connect(ui->eventSearch, &QLineEdit::textChanged, this, &EventFinder::searchTextChanged);
    connect(ui->searchPrev, &QToolButton::clicked, this, &EventFinder::stepBack);
    connect(ui->searchNext, &QToolButton::clicked, this, &EventFinder::stepForward);
}

EventFinder::~EventFinder() = default;

void EventFinder::searchTextChanged(const QString &text)
{
    m_proxy->setFilterText(text);
    m_view->clearSelection();
    QPalette palette = ui->eventSearch->palette();
    palette.setColor(QPalette::Text, palette.color(QPalette::WindowText));
    const bool found = m_proxy->rowCount() > 0;
    if (!text.isEmpty() && !found) {
        palette.setColor(QPalette::Text, Qt::red);
    }
    ui->eventSearch->setPalette(palette);
    const bool canStep = !text.isEmpty() && found;
    ui->searchPrev->setEnabled(canStep);
    ui->searchNext->setEnabled(canStep);
    if (canStep) {
        showRow(m_proxy->index(0, 0), 0);
    }
}

void EventFinder::showRow(const QModelIndex &parent, int row)
{
    const QModelIndex index = m_proxy->index(row, 0, parent);
    m_view->expand(parent);
    QItemSelectionModel *selection = m_view->selectionModel();
    selection->select(index, QItemSelectionModel::ClearAndSelect);
    selection->select(index.sibling(index.row(), 1), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_view->scrollTo(index);
}

void EventFinder::stepForward()
{
    const QModelIndexList selected = m_view->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        return;
    }
    const QModelIndex current = selected.first();
    const QModelIndex parent = current.parent();
    if (current.row() + 1 < m_proxy->rowCount(parent)) {
        showRow(parent, current.row() + 1);
    } else if (parent.isValid() && parent.row() + 1 < m_proxy->rowCount(parent.parent())) {
        showRow(parent.sibling(parent.row() + 1, 0), 0);
    }
}

void EventFinder::stepBack()
{
    const QModelIndexList selected = m_view->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) {
        return;
    }
    const QModelIndex current = selected.first();
    const QModelIndex parent = current.parent();
    if (current.row() > 0) {
        showRow(parent, current.row() - 1);
    } else if (parent.isValid() && parent.row() > 0) {
        const QModelIndex previous = parent.sibling(parent.row() - 1, 0);
        showRow(previous, m_proxy->rowCount(previous) - 1);
    }
}
