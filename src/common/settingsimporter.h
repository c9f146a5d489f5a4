#pragma once

#include <QWidget>

#include <functional>
#include <memory>

namespace Ui
{
class SettingsImporter;
}

// The "Import configuration" tab: an archive to import, or one of the kept
// configurations (snapshots) to go back to.
class SettingsImporter : public QWidget
{
    Q_OBJECT
public:
    explicit SettingsImporter(QWidget *parent = nullptr);
    ~SettingsImporter() override;

    // Empties the path and lists the kept configurations afresh.
    void clear();
    // Tells whether the page has edits that are not applied, which an import discards.
    void setPendingPageEdits(std::function<bool()> pending)
    {
        m_pendingPageEdits = std::move(pending);
    }

public Q_SLOTS:
    // Shows what the archive would change and imports it when the administrator agrees.
    bool importConfig();

Q_SIGNALS:
    // The files on the system changed: they must be read again. complete is
    // false when the import failed part way; summary says which files changed,
    // files names them (system paths).
    void configurationChanged(bool complete, const QString &summary, const QStringList &files);

private:
    void listSnapshots();
    QString selectedSnapshot() const;

    std::unique_ptr<Ui::SettingsImporter> ui;
    std::function<bool()> m_pendingPageEdits;
};
