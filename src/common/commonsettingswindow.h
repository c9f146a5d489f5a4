#pragma once

#include <QDialog>

#include <memory>

namespace Ui
{
class CommonSettingsWindow;
}

// The modal window of the settings that do not belong to single events. OK
// saves only the current tab; every closing reloads the two settings tabs
// from their files, so edits of the other tabs are dropped.
class CommonSettingsWindow : public QDialog
{
    Q_OBJECT
public:
    explicit CommonSettingsWindow(QWidget *parent = nullptr);
    ~CommonSettingsWindow() override;

public Q_SLOTS:
    void open() override;
    // The module's "Settings" button: always the first tab, whichever was used last.
    void openOnFirstTab();
    void accept() override;
    void reject() override;

Q_SIGNALS:
    // An import or a restore changed the files on the system.
    void configurationImported();

private:
    void reload();

    std::unique_ptr<Ui::CommonSettingsWindow> ui;
};
