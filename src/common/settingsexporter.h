#pragma once

#include <QWidget>

#include <memory>

namespace Ui
{
class SettingsExporter;
}

// The "Export configuration" tab.
class SettingsExporter : public QWidget
{
    Q_OBJECT
public:
    explicit SettingsExporter(QWidget *parent = nullptr);
    ~SettingsExporter() override;

    void clear();

    // Whether an archive may be written to path: only under the home of the
    // user behind sudo (any home when unknown) or our own home.
    static bool isPathAllowed(const QString &path);

public Q_SLOTS:
    bool exportConfig();

private:
    std::unique_ptr<Ui::SettingsExporter> ui;
};
