#include "commonsettingswindow.h"

#include "ui_commonsettingswindow.h"

#include "platform/configsnapshot.h"

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
    reload();
}

CommonSettingsWindow::~CommonSettingsWindow() = default;

void CommonSettingsWindow::open()
{
    ui->destinationsSettings->updateRemoveButtonState();
    ui->logRotationSettings->statistics();
    ui->settingsExporter->clear();
    ui->settingsImporter->clear();
    QDialog::open();
}

void CommonSettingsWindow::openOnFirstTab()
{
    ui->tabWidget->setCurrentIndex(0);
    open();
}

void CommonSettingsWindow::accept()
{
    QWidget *current = ui->tabWidget->currentWidget();
    // A failed save, export or import keeps the window open with the edits,
    // once the tab has told why.
    if (current == ui->destinationsTab) {
        ConfigSnapshot::take();
        if (!ui->destinationsSettings->save()) {
            return;
        }
    } else if (current == ui->logRotateTab) {
        ConfigSnapshot::take();
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
    reload();
    QDialog::accept();
}

void CommonSettingsWindow::reject()
{
    reload();
    QDialog::reject();
}

void CommonSettingsWindow::reload()
{
    ui->destinationsSettings->load();
    ui->logRotationSettings->load();
}
