#pragma once

#include <QVariant>
#include <QVector>
#include <QWidget>

#include <memory>

class AddDestinationDialog;
class DestinationsModel;
class FileEditor;
class ProblemsMessage;
class QAction;
class TreeItem;

namespace Ui
{
class DestinationsSettings;
}

// The "Destinations" tab: the destinations of the common syslog-ng file.
class DestinationsSettings : public QWidget
{
    Q_OBJECT
public:
    explicit DestinationsSettings(QWidget *parent = nullptr);
    ~DestinationsSettings() override;

    // Reads the common file again into the table.
    void load();
    // Writes the table into the common file when it changed and syslog-ng accepts
    // it, then restarts syslog-ng. A file that cannot be read whole is never
    // written. False, after telling why, when nothing was written.
    bool save();
    void updateRemoveButtonState();

private:
    void addDestination(const QVector<QVariant> &destination);
    void removeSelected();
    void showContextMenu(const QPoint &pos);
    void refreshExistingNames();

    std::unique_ptr<Ui::DestinationsSettings> ui;
    DestinationsModel *m_model = nullptr; // Owned by this widget.
    AddDestinationDialog *m_addDialog = nullptr; // Owned by this widget.
    FileEditor *m_editor = nullptr; // Owned by this widget.
    QAction *m_openEditorAction = nullptr; // Owned by this widget.
    ProblemsMessage *m_problems = nullptr; // Owned by this widget.
};
