#pragma once

#include "configmanager.h"
#include "transfertab.h"

#include <functional>
#include <memory>

namespace Ui
{
class SettingsImporter;
}

// The "Import configuration" tab: an archive to import, or one of the kept
// configurations (snapshots) to go back to.
class SettingsImporter : public TransferTab
{
    Q_OBJECT
public:
    explicit SettingsImporter(QWidget *parent = nullptr);
    ~SettingsImporter() override;

    // Empties the path and lists the kept configurations afresh; the tab is
    // busy until they are listed.
    void clear();
    // Tells whether the page has edits that are not applied, which an import discards.
    void setPendingPageEdits(std::function<bool()> pending)
    {
        m_pendingPageEdits = std::move(pending);
    }

    // Shows what the archive would change and imports it when the
    // administrator agrees; done gets true when it was imported or there was
    // nothing to import, false when the administrator declined or the tab told
    // why it failed.
    void importConfig(const std::function<void(bool done)> &done);

Q_SIGNALS:
    // The files on the system changed: they must be read again. complete is
    // false when the import failed part way; summary says which files changed,
    // files names them (system paths).
    void configurationChanged(bool complete, const QString &summary, const QStringList &files);

private:
    void listSnapshots();
    // The preview of archive, the question and the import; an archive without
    // a trusted signer is read further only when the administrator agrees.
    void previewAndImport(const QString &archive, const QString &source, ConfigManager::Signature signature, const std::function<void(bool done)> &done);
    // Asks whether to import what preview lists from source, with the review of its diff at hand.
    bool confirmed(const QString &source, const ConfigManager::Preview &preview);
    QString selectedSnapshot() const;

    std::unique_ptr<Ui::SettingsImporter> ui;
    std::function<bool()> m_pendingPageEdits;
};
