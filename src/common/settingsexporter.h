#pragma once

#include "transfertab.h"

#include <functional>
#include <memory>

namespace Ui
{
class SettingsExporter;
}

// The "Export configuration" tab.
class SettingsExporter : public TransferTab
{
    Q_OBJECT
public:
    explicit SettingsExporter(QWidget *parent = nullptr);
    ~SettingsExporter() override;

    // Empties the path and says in the empty field where an archive may go.
    void clear();

    // Where an archive typed as path (a path of the managed system) may be
    // written: placed under the system root, its folder resolved (links and
    // "..") with the file name, when that folder lies under the home of the
    // user behind sudo (any home when unknown) or our own home; empty when it
    // does not, or when the folder does not exist.
    static QString allowedTarget(const QString &path);

    // Writes the archive the path names, asking first when it exists; done
    // gets whether it was written, false after the tab told why not or the
    // administrator declined.
    void exportConfig(const std::function<void(bool done)> &done);

private:
    // Where an archive may go, one wording for the empty field and the refusal.
    static QString where();

    std::unique_ptr<Ui::SettingsExporter> ui;
};
