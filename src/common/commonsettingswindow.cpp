#include "commonsettingswindow.h"

#include "ui_commonsettingswindow.h"

#include "editors/messagebox.h"
#include "editors/snapshotbeforewrite.h"

#include <KLocalizedString>

CommonSettingsWindow::CommonSettingsWindow(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::CommonSettingsWindow>())
{
    ui->setupUi(this);
    ui->tabWidget->setTabText(ui->tabWidget->indexOf(ui->destinationsTab), i18n("Destinations"));
    ui->tabWidget->setTabText(ui->tabWidget->indexOf(ui->logRotateTab), i18n("Main log rotation"));
    ui->tabWidget->setTabText(ui->tabWidget->indexOf(ui->exportTab), i18n("Export configuration"));
    ui->tabWidget->setTabText(ui->tabWidget->indexOf(ui->importTab), i18n("Import configuration"));
    connect(ui->settingsImporter, &SettingsImporter::configurationChanged, this, &CommonSettingsWindow::configurationImported);
}

CommonSettingsWindow::~CommonSettingsWindow() = default;

void CommonSettingsWindow::open()
{
    // The tabs show and edit the files as they are now, not as they were when
    // the window was last open: a save never writes over what changed meanwhile.
    reload();
    ui->logRotationSettings->statistics();
    ui->settingsExporter->clear();
    ui->settingsImporter->clear();
    QDialog::open();
}

bool CommonSettingsWindow::settleUnsavedEdits(bool withCurrent)
{
    QWidget *current = ui->tabWidget->currentWidget();
    const bool destinations = ui->destinationsSettings->hasChanges() && (withCurrent || current != ui->destinationsTab);
    const bool rotation = ui->logRotationSettings->hasChanges() && (withCurrent || current != ui->logRotateTab);
    QStringList tabs;
    if (destinations) {
        tabs << KLocalizedString::removeAcceleratorMarker(ui->tabWidget->tabText(ui->tabWidget->indexOf(ui->destinationsTab)));
    }
    if (rotation) {
        tabs << KLocalizedString::removeAcceleratorMarker(ui->tabWidget->tabText(ui->tabWidget->indexOf(ui->logRotateTab)));
    }
    if (tabs.isEmpty()) {
        return true;
    }
    const auto answer = MessageBox::ask(this,
                                        MessageBox::Kind::Question,
                                        i18n("Unsaved changes"),
                                        i18n("Changes on %1 are not saved. Save them, discard them, or go back?", tabs.join(QLatin1String(", "))),
                                        QDialogButtonBox::Save | QDialogButtonBox::Discard | QDialogButtonBox::Cancel,
                                        QDialogButtonBox::Cancel);
    if (answer == QDialogButtonBox::Save) {
        if (destinations) {
            ui->destinationsSettings->save();
        }
        if (rotation) {
            ui->logRotationSettings->save();
        }
    }
    return answer == QDialogButtonBox::Save || answer == QDialogButtonBox::Discard;
}

void CommonSettingsWindow::openOnFirstTab()
{
    ui->tabWidget->setCurrentIndex(0);
    open();
}

void CommonSettingsWindow::accept()
{
    // Everything one OK writes is kept before it in one snapshot, taken by the first write.
    const SnapshotScope oneSnapshot;
    if (!settleUnsavedEdits(false)) {
        return;
    }
    QWidget *current = ui->tabWidget->currentWidget();
    // A failed save, export or import keeps the window open with the edits,
    // once the tab has told why.
    if (current == ui->destinationsTab) {
        if (!ui->destinationsSettings->save()) {
            return;
        }
    } else if (current == ui->logRotateTab) {
        if (!ui->logRotationSettings->save()) {
            return;
        }
    } else if (current == ui->exportTab) {
        if (!ui->settingsExporter->exportConfig()) {
            return;
        }
    } else if (current == ui->importTab) {
        // An import that changed files says so itself, even when it failed.
        if (!ui->settingsImporter->importConfig()) {
            return;
        }
    }
    QDialog::accept();
}

void CommonSettingsWindow::reject()
{
    const SnapshotScope oneSnapshot;
    if (!settleUnsavedEdits(true)) {
        return;
    }
    QDialog::reject();
}

void CommonSettingsWindow::setPendingPageEdits(std::function<bool()> pending)
{
    ui->settingsImporter->setPendingPageEdits(std::move(pending));
}

void CommonSettingsWindow::reload()
{
    ui->destinationsSettings->load();
    ui->logRotationSettings->load();
}
