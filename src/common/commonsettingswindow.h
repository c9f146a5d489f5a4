#pragma once

#include <QDialog>

// The modal window of the settings that do not belong to single events.
class CommonSettingsWindow : public QDialog
{
    Q_OBJECT
public:
    explicit CommonSettingsWindow(QWidget *parent = nullptr);
    ~CommonSettingsWindow() override;

public Q_SLOTS:
    void open() override;

Q_SIGNALS:
    void configurationImported();
};
