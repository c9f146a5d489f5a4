#pragma once

#include <QWidget>

// The "Destinations" tab: the destinations of the common syslog-ng file.
class DestinationsSettings : public QWidget
{
    Q_OBJECT
public:
    explicit DestinationsSettings(QWidget *parent = nullptr);
    ~DestinationsSettings() override;

    // Reads the common file again into the table.
    void load();
    // Writes the table into the common file when it changed, then restarts syslog-ng.
    void save();
    void updateRemoveButtonState();
};
