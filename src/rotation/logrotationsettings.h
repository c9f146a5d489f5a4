#pragma once

#include <QWidget>

#include <memory>

class ProblemsMessage;
class TreeItem;

namespace Ui
{
class LogRotationSettings;
}

// The "Main log rotation" tab: statistics of the main event log and the number
// of rotated files, size limit and period of its logrotate file. Every other
// directive of the file is kept as it is.
class LogRotationSettings : public QWidget
{
    Q_OBJECT
public:
    explicit LogRotationSettings(QWidget *parent = nullptr);
    ~LogRotationSettings() override;

    // Reads the logrotate file into the controls, dropping unsaved edits.
    void load();
    // Writes the controls into the logrotate file. False only when writing failed;
    // without a readable file there is nothing to save.
    bool save();
    // Recomputes the size of the main log and the space of its disk.
    void statistics();

private Q_SLOTS:
    // Size and period exclude each other: logrotate applies whichever comes last.
    void on_logSizeCheckBox_stateChanged(int state);
    void on_periodCheckBox_stateChanged(int state);

private:
    void reset();
    bool isOwnedDirective(const QString &word) const;

    std::unique_ptr<Ui::LogRotationSettings> ui;
    std::unique_ptr<TreeItem> m_tree; // Null when the file was empty or unreadable.
    ProblemsMessage *m_problems = nullptr; // Owned by this widget.
};
