#pragma once

#include <QVariant>
#include <QVector>
#include <QWidget>

#include <functional>
#include <memory>

class AddDestinationDialog;
class AsyncProcess;
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

    // Reads the common file again into the table, dropping unsaved edits.
    void load();
    // Writes the edits into the common file when syslog-ng accepts the result,
    // then restarts syslog-ng and reads the file again. Only the statements and
    // references the edits concern change; every other byte stays. A file that
    // could not be read whole is never written, nor one changed outside the
    // module since it was read: then the administrator may reload it. done
    // gets false, after the tab has told why, when nothing was written. The
    // check runs on the event loop, with the tab's own program.
    void save(const std::function<void(bool saved)> &done);
    // Stops a save's program; its done does not follow.
    void abandonSave();
    // True when the edits would change the common file as it was read.
    bool hasChanges() const;
    void updateRemoveButtonState();

private:
    // The handler of the dialog's newDestCreated.
    void addDestination(const QVector<QVariant> &values);
    void removeSelected();
    void showContextMenu(const QPoint &pos);
    void refreshExistingNames();
    // The file's bytes with the edits; changed tells whether they differ from those read.
    QByteArray textToWrite(bool *changed) const;
    // Asks whether to reload the file changed outside.
    void reloadAfterOutsideChange();

    std::unique_ptr<Ui::DestinationsSettings> ui;
    DestinationsModel *m_model = nullptr; // Owned by this widget.
    AddDestinationDialog *m_addDialog = nullptr; // Owned by this widget.
    FileEditor *m_editor = nullptr; // Owned by this widget.
    QAction *m_openEditorAction = nullptr; // Owned by this widget.
    ProblemsMessage *m_problems = nullptr; // Owned by this widget.
    AsyncProcess *m_process = nullptr; // Owned by this widget: its program goes with the tab.
    bool m_damaged = false; // the last load could not read the file whole
    QString m_problemsText; // what it could not read
};
