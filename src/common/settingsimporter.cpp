#include "settingsimporter.h"

#include "editors/plaintext.h"
#include "ui_settingsimporter.h"

#include "configmanager.h"
#include "editors/messagebox.h"
#include "editors/reviewchangesdialog.h"
#include "platform/controlescape.h"
#include "platform/fileread.h"
#include "platform/paths.h"
#include "platform/privatefolder.h"

#include <KLocalizedString>

#include <QPushButton>

#include <algorithm>
#include <memory>

namespace
{
// The words of the tabs and the page for the part of the configuration a file holds.
QString area(const QString &path)
{
    if (path == Paths::CommonSyslogNgFile) {
        return i18n("Destinations");
    }
    if (path == Paths::LogRotateFile) {
        return i18n("Main log rotation");
    }
    if (path == Paths::RootNotifyrc || path.startsWith(Paths::PerEventFilePrefix)) {
        return i18n("Notifications");
    }
    return i18n("Events");
}

QString kindText(ConfigManager::FileChange::Kind kind)
{
    switch (kind) {
    case ConfigManager::FileChange::Kind::Added:
        return i18nc("a file of the configuration", "added");
    case ConfigManager::FileChange::Kind::Removed:
        return i18nc("a file of the configuration", "removed");
    case ConfigManager::FileChange::Kind::Replaced:
        break;
    }
    return i18nc("a file of the configuration", "replaced");
}

// One line per part of the configuration, in the order of the page and the tabs:
// "Events: /etc/velta-syslog.conf (replaced), ...".
QString listing(const QList<ConfigManager::FileChange> &changes)
{
    const QStringList areas{i18n("Events"), i18n("Destinations"), i18n("Main log rotation"), i18n("Notifications")};
    QStringList lines;
    for (const QString &name : areas) {
        QStringList files;
        for (const ConfigManager::FileChange &change : changes) {
            if (area(change.path) == name) {
                files << i18nc("a file and how it changes", "%1 (%2)", change.path, kindText(change.kind));
            }
        }
        if (!files.isEmpty()) {
            lines << i18nc("a part of the configuration and its files", "%1: %2", name, files.join(QLatin1String(", ")));
        }
    }
    return lines.join(QLatin1Char('\n'));
}
} // namespace

SettingsImporter::SettingsImporter(QWidget *parent)
    : TransferTab(parent)
    , ui(std::make_unique<Ui::SettingsImporter>())
{
    ui->setupUi(this);
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
    ConfigManager::snapshots(runner(), [this](const QList<ConfigManager::Snapshot> &snapshots) {
        // Newest first.
        for (auto it = snapshots.crbegin(); it != snapshots.crend(); ++it) {
            const QString differing = it->differing.isEmpty() ? i18n("none") : it->differing.join(QStringLiteral(", "));
            auto *item = new QTreeWidgetItem(ui->snapshotsView, {it->taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), differing});
            item->setData(0, Qt::UserRole, it->name);
            item->setToolTip(1, shownPlain(it->differing.join(QLatin1Char('\n'))));
        }
        ui->snapshotsView->resizeColumnToContents(0);
    });
}

QString SettingsImporter::selectedSnapshot() const
{
    const QList<QTreeWidgetItem *> selected = ui->snapshotsView->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->data(0, Qt::UserRole).toString();
}

void SettingsImporter::importConfig(const std::function<void(bool done)> &done)
{
    const QString snapshot = selectedSnapshot();
    if (snapshot.isEmpty() && !ui->fileWidget->checkSelected()) {
        return done(false);
    }
    const QString failed = i18n("Can not import configuration!");
    // The question, the check and the import read one private copy of a chosen
    // archive: what the administrator approves is what is imported, whatever
    // becomes of the chosen file in the meantime. Snapshots lie in root's
    // private folder already, where the tool knows them as root's own.
    const QString typed = snapshot.isEmpty() ? Paths::placedTyped(ui->fileWidget->text()) : QString();
    std::shared_ptr<PrivateCopy> copy;
    if (snapshot.isEmpty()) {
        copy = std::make_shared<PrivateCopy>(typed, Paths::placed(Paths::ImportDir), FileRead::ConfigLimit);
        if (!copy->isValid()) {
            FileWidget::showFailure(this, failed, copy->error());
            return done(false);
        }
    }
    const QString archive = copy ? copy->path() : ConfigManager::snapshotArchive(snapshot);
    // The path as typed, whatever characters it holds.
    const QString typedShown = ControlEscape::escaped(Paths::unplaced(typed));
    const QString source = snapshot.isEmpty() ? typedShown : i18n("the configuration kept at %1", ui->snapshotsView->selectedItems().first()->text(0));

    // The copy lasts until the import has ended.
    previewAndImport(archive, source, ConfigManager::Signature::MustBeTrusted, [copy, done](bool imported) {
        done(imported);
    });
}

void SettingsImporter::previewAndImport(const QString &archive,
                                        const QString &source,
                                        ConfigManager::Signature signature,
                                        const std::function<void(bool done)> &done)
{
    const QString failed = i18n("Can not import configuration!");
    ConfigManager::preview(archive, signature, runner(), [this, archive, source, signature, failed, done](const ConfigManager::Preview &preview) {
        // Without a signer this machine trusts, the archive is read only when the administrator says so.
        if (preview.untrusted && signature == ConfigManager::Signature::MustBeTrusted) {
            const bool admitted = MessageBox::ask(this,
                                                  MessageBox::Kind::Warning,
                                                  i18n("Import configuration"),
                                                  i18n("%1 cannot be trusted: %2.\n\nImport it only when you know where it comes from and what it holds. "
                                                       "Read it anyway?",
                                                       source,
                                                       preview.message),
                                                  QDialogButtonBox::Yes | QDialogButtonBox::No,
                                                  QDialogButtonBox::No)
                == QDialogButtonBox::Yes;
            if (!admitted) {
                return done(false);
            }
            return previewAndImport(archive, source, ConfigManager::Signature::AnySigner, done);
        }
        if (!preview.ok) {
            FileWidget::showFailure(this, failed, preview.message);
            return done(false);
        }
        if (preview.changes.isEmpty()) {
            MessageBox::show(this,
                             MessageBox::Kind::Information,
                             i18n("Information"),
                             i18n("%1 holds the configuration as it is; nothing was imported.", source));
            return done(true);
        }
        if (!confirmed(source, preview)) {
            return done(false);
        }
        // The tool checks the archive and the tools' verdict on it before it changes anything.
        ConfigManager::importArchive(archive, signature, runner(), [this, source, failed, preview, done](const ConfigManager::ImportResult &result) {
            if (result.changed) {
                // Described with the words of the question where the file was in it.
                QList<ConfigManager::FileChange> changed;
                for (const QString &path : result.files) {
                    const auto planned = std::find_if(preview.changes.cbegin(), preview.changes.cend(), [&path](const ConfigManager::FileChange &change) {
                        return change.path == path;
                    });
                    changed << (planned != preview.changes.cend() ? *planned : ConfigManager::FileChange{path, ConfigManager::FileChange::Kind::Replaced});
                }
                Q_EMIT configurationChanged(result.ok,
                                            result.ok ? i18n("Imported from %1:\n%2", source, listing(changed))
                                                      : i18n("The import from %1 failed, and these files could not be put back:\n%2", source, listing(changed)),
                                            result.files);
            }
            if (!result.ok) {
                FileWidget::showFailure(this, failed, result.message);
                return done(false);
            }
            listSnapshots();
            done(true);
        });
    });
}

bool SettingsImporter::confirmed(const QString &source, const ConfigManager::Preview &preview)
{
    // The page's edits are made on the files the import replaces: they go.
    const bool pageEdits = m_pendingPageEdits && m_pendingPageEdits();
    // Whom the archive comes from; a snapshot is this machine's own.
    const QString signer = preview.signer.isEmpty() ? QString() : i18n("Signed by: %1", preview.signer) + QLatin1String("\n\n");
    const QString text = pageEdits ? i18n(
                             "Importing %1 changes the configuration:\n\n%2\n\n%3The page has changes that are not applied yet. The import discards them, "
                             "and the page then shows the imported configuration.\n\nThe logging service is restarted afterwards. Import it?",
                             source,
                             listing(preview.changes),
                             signer)
                                   : i18n("Importing %1 changes the configuration:\n\n%2\n\n%3The logging service is restarted afterwards. Import it?",
                                          source,
                                          listing(preview.changes),
                                          signer);
    // The review shows the diff the tool made, file by file; with the setting
    // on it opens first, and the question's button opens it over the question,
    // which stays for the answer.
    const auto review = [diff = preview.diff](QWidget *parent) {
        ReviewChangesDialog dialog(parent);
        dialog.setDiff(diff);
        dialog.exec();
    };
    if (ReviewChangesDialog::alwaysBeforeWriting()) {
        review(this);
    }
    const QDialogButtonBox::StandardButton no = pageEdits ? QDialogButtonBox::Cancel : QDialogButtonBox::No;
    const auto answer = MessageBox::ask(this,
                                        MessageBox::Kind::Question,
                                        i18n("Import configuration"),
                                        text,
                                        QDialogButtonBox::Yes | no,
                                        no,
                                        QString::fromUtf8(preview.diff),
                                        [&review](QDialogButtonBox *buttons) {
                                            QPushButton *reviewButton = buttons->addButton(i18n("Review changes..."), QDialogButtonBox::ActionRole);
                                            connect(reviewButton, &QPushButton::clicked, buttons, [buttons, &review] {
                                                review(buttons->window());
                                            });
                                        });
    return answer == QDialogButtonBox::Yes;
}
