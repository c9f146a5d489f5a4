#pragma once

#include <QWidget>

// The "Main log rotation" tab.
class LogRotationSettings : public QWidget
{
    Q_OBJECT
public:
    explicit LogRotationSettings(QWidget *parent = nullptr);
    ~LogRotationSettings() override;

    void load();
    void save();
    void statistics();
};
