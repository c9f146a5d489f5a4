#pragma once

#include <QWidget>

#include <memory>

namespace Ui
{
class SettingsImporter;
}

// The "Import configuration" tab.
class SettingsImporter : public QWidget
{
    Q_OBJECT
public:
    explicit SettingsImporter(QWidget *parent = nullptr);
    ~SettingsImporter() override;

    void clear();

public Q_SLOTS:
    bool importConfig();

private:
    std::unique_ptr<Ui::SettingsImporter> ui;
};
