#pragma once

#include "editors/settingstab.h"
#include "platform/configcheck.h"
#include "platform/filestamp.h"

#include <functional>
#include <memory>

class LogRotateParser;
class TreeItem;

namespace Ui
{
class LogRotationSettings;
}

// The "Main log rotation" tab: statistics of the main event log and the number
// of rotated files, size limit and period of its logrotate file. Every other
// directive of the file is kept as it is.
class LogRotationSettings : public SettingsTab
{
    Q_OBJECT
public:
    explicit LogRotationSettings(QWidget *parent = nullptr);
    ~LogRotationSettings() override;

    // The controls wait, disabled, until logrotate has checked the file (loaded()).
    void load() override;
    // Writes the settings the administrator changed, checked by logrotate;
    // without a readable file there is nothing to save.
    void save(const std::function<void(bool saved)> &done) override;
    // A load waits for logrotate's check.
    bool isLoading() const
    {
        return m_parser != nullptr;
    }
    // A load's program stops too; its end does not follow.
    void abandonSave() override;
    bool hasChanges() const override;
    // Recomputes the size of the main log and the space of its disk.
    void statistics();

Q_SIGNALS:
    // load() has shown the file.
    void loaded();

private Q_SLOTS:
    // Size and period exclude each other: logrotate applies whichever comes last.
    void on_logSizeCheckBox_stateChanged(int state);
    void on_periodCheckBox_stateChanged(int state);

private:
    // The three settings as the controls show them; empty when unchecked.
    struct Shown {
        QString rotate;
        QString size;
        QString period;
        bool operator==(const Shown &other) const
        {
            return rotate == other.rotate && size == other.size && period == other.period;
        }
    };

    void reset();
    void showRead(TreeItem *tree);
    Shown shown() const;
    // The end of save(): the result told, what was written remembered.
    void written(const ConfigCheck::Result &result,
                 const QStringList &fileLines,
                 const Shown &now,
                 const QByteArray &text,
                 const std::function<void(bool saved)> &done);

    std::unique_ptr<Ui::LogRotationSettings> ui;
    std::unique_ptr<TreeItem> m_tree; // Null when the file was empty or unreadable.
    QStringList m_fileLines; // the file as read at the last load
    int m_block = 0; // the block of m_fileLines shown: the main log's
    FileStamp m_stamp; // what the last load read, or what the last save wrote
    Shown m_loaded; // as load() left the controls
    std::unique_ptr<LogRotateParser> m_parser; // of the load in progress
};
