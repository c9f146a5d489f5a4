#include "settingsimporter.h"

#include "ui_settingsimporter.h"

#include "configmanager.h"

#include <KLocalizedString>

#include <QMessageBox>

SettingsImporter::SettingsImporter(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::SettingsImporter>())
{
    ui->setupUi(this);
    ui->fileWidget->setup(false);
    ui->snapshotsLabel->setText(i18n("Or go back to a kept configuration:"));
    ui->snapshotsView->setHeaderLabels({i18n("Kept"), i18n("Files that differ from the current ones")});
    // One source at a time: an archive path or a kept configuration.
    connect(ui->fileWidget, &FileWidget::textChanged, this, [this](const QString &text) {
        if (!text.isEmpty()) {
            ui->snapshotsView->clearSelection();
        }
    });
    connect(ui->snapshotsView, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (!selectedSnapshot().isEmpty()) {
            ui->fileWidget->clear();
        }
    });
}

SettingsImporter::~SettingsImporter() = default;

void SettingsImporter::clear()
{
    ui->fileWidget->clear();
    listSnapshots();
}

void SettingsImporter::listSnapshots()
{
    ui->snapshotsView->clear();
    const QList<ConfigManager::Snapshot> snapshots = ConfigManager::snapshots();
    // Newest first.
    for (auto it = snapshots.crbegin(); it != snapshots.crend(); ++it) {
        const QString differing = it->differing.isEmpty() ? i18n("none") : it->differing.join(QStringLiteral(", "));
        auto *item = new QTreeWidgetItem(ui->snapshotsView, {it->taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), differing});
        item->setData(0, Qt::UserRole, it->name);
        item->setToolTip(1, it->differing.join(QLatin1Char('\n')));
    }
    ui->snapshotsView->resizeColumnToContents(0);
}

QString SettingsImporter::selectedSnapshot() const
{
    const QList<QTreeWidgetItem *> selected = ui->snapshotsView->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->data(0, Qt::UserRole).toString();
}

bool SettingsImporter::importConfig()
{
    const QString snapshot = selectedSnapshot();
    if (snapshot.isEmpty() && !ui->fileWidget->checkSelected()) {
        return false;
    }
    // The tool checks the archive and the tools' verdict on it before it changes anything.
    const ConfigManager::ImportResult result =
        snapshot.isEmpty() ? ConfigManager::importArchive(ui->fileWidget->text()) : ConfigManager::restoreSnapshot(snapshot);
    if (result.changed) {
        Q_EMIT configurationChanged();
    }
    if (!result.ok) {
        const QString text = i18n("Can not import configuration!");
        QMessageBox::critical(nullptr, i18n("Error"), result.message.isEmpty() ? text : text + QLatin1String("\n\n") + result.message);
        return false;
    }
    listSnapshots();
    return true;
}
