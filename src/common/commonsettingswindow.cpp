#include "commonsettingswindow.h"

#include "ui_commonsettingswindow.h"

#include "editors/busycursor.h"
#include "editors/messagebox.h"
#include "editors/snapshotbeforewrite.h"

#include <KLocalizedString>

#include <QPushButton>

#include <memory>

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
    // OK waits for the rotation tab to show its file and for the import tab
    // to list the kept configurations.
    const auto ended = [this] {
        setBusy(m_busy);
    };
    connect(ui->logRotationSettings, &LogRotationSettings::loaded, this, ended);
    connect(ui->settingsExporter, &TransferTab::idle, this, ended);
    connect(ui->settingsImporter, &TransferTab::idle, this, ended);
}

bool CommonSettingsWindow::isBusy() const
{
    return m_busy || ui->logRotationSettings->isLoading() || ui->settingsExporter->isBusy() || ui->settingsImporter->isBusy();
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
    setBusy(false);
    QDialog::open();
}

void CommonSettingsWindow::settleUnsavedEdits(bool withCurrent, const std::function<void(bool goOn)> &done)
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
        return done(true);
    }
    const auto answer = MessageBox::ask(this,
                                        MessageBox::Kind::Question,
                                        i18n("Unsaved changes"),
                                        i18n("Changes on %1 are not saved. Save them, discard them, or go back?", tabs.join(QLatin1String(", "))),
                                        QDialogButtonBox::Save | QDialogButtonBox::Discard | QDialogButtonBox::Cancel,
                                        QDialogButtonBox::Cancel);
    if (answer != QDialogButtonBox::Save) {
        return done(answer == QDialogButtonBox::Discard);
    }
    // Each tab tells of its own failure; the window goes on as the answer said.
    const auto saveRotation = [this, rotation, done] {
        if (!rotation) {
            return done(true);
        }
        ui->logRotationSettings->save([done](bool) {
            done(true);
        });
    };
    if (!destinations) {
        return saveRotation();
    }
    ui->destinationsSettings->save([saveRotation](bool) {
        saveRotation();
    });
}

void CommonSettingsWindow::openOnFirstTab()
{
    ui->tabWidget->setCurrentIndex(0);
    open();
}

void CommonSettingsWindow::setBusy(bool busy)
{
    m_busy = busy;
    // No second OK while the first one's programs run.
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(!isBusy());
    showBusyCursor(this, isBusy());
    if (!isBusy()) {
        Q_EMIT actionFinished();
    }
}

void CommonSettingsWindow::actOnCurrentTab(const std::function<void(bool done)> &done)
{
    // A failed save, export or import keeps the window open with the edits,
    // once the tab has told why.
    QWidget *current = ui->tabWidget->currentWidget();
    if (current == ui->destinationsTab) {
        ui->destinationsSettings->save(done);
    } else if (current == ui->logRotateTab) {
        ui->logRotationSettings->save(done);
    } else if (current == ui->exportTab) {
        ui->settingsExporter->exportConfig(done);
    } else if (current == ui->importTab) {
        // An import that changed files says so itself, even when it failed.
        ui->settingsImporter->importConfig(done);
    } else {
        done(true);
    }
}

void CommonSettingsWindow::accept()
{
    if (isBusy()) {
        return;
    }
    setBusy(true);
    // Everything one OK writes is kept before it in one snapshot, taken by the first write.
    const auto oneSnapshot = std::make_shared<SnapshotScope>();
    settleUnsavedEdits(false, [this, oneSnapshot](bool goOn) {
        if (!goOn) {
            return setBusy(false);
        }
        actOnCurrentTab([this, oneSnapshot](bool done) {
            if (done) {
                QDialog::accept();
            }
            setBusy(false);
        });
    });
}

void CommonSettingsWindow::reject()
{
    if (isBusy()) {
        ui->destinationsSettings->abandonSave();
        ui->logRotationSettings->abandonSave();
        ui->settingsExporter->abandon();
        ui->settingsImporter->abandon();
        QDialog::reject();
        setBusy(false);
        return;
    }
    setBusy(true);
    const auto oneSnapshot = std::make_shared<SnapshotScope>();
    settleUnsavedEdits(true, [this, oneSnapshot](bool goOn) {
        if (goOn) {
            QDialog::reject();
        }
        setBusy(false);
    });
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
