#pragma once

#include "editors/settingstab.h"

#include <QVariant>
#include <QVector>

#include <memory>

class AddDestinationDialog;
class DestinationsModel;
class FileEditor;
class FileStamp;
class KMessageWidget;
class QAction;
class TreeItem;

namespace Ui
{
class DestinationsSettings;
}

// The "Destinations" tab: the destinations of the common syslog-ng file.
class DestinationsSettings : public SettingsTab
{
    Q_OBJECT
public:
    explicit DestinationsSettings(QWidget *parent = nullptr);
    ~DestinationsSettings() override;

    void load() override;
    // Checked by syslog-ng, then syslog-ng restarts and the file is read again.
    // Only the statements and references the edits concern change; every other
    // byte stays. A file that could not be read whole is never written.
    void save(const std::function<void(bool saved)> &done) override;
    bool hasChanges() const override;
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
    // Checks, writes and restarts as save() does, for text made from the file as read.
    void write(const QByteArray &text, const FileStamp &read, const std::function<void(bool saved)> &done);
    // Shows the faster form of the file as read, and writes it when the administrator agrees.
    void offerParseOnce();

    std::unique_ptr<Ui::DestinationsSettings> ui;
    DestinationsModel *m_model = nullptr; // Owned by this widget.
    AddDestinationDialog *m_addDialog = nullptr; // Owned by this widget.
    FileEditor *m_editor = nullptr; // Owned by this widget.
    QAction *m_openEditorAction = nullptr; // Owned by this widget.
    KMessageWidget *m_parseOnceMessage = nullptr; // Owned by this widget.
    bool m_damaged = false; // the last load could not read the file whole
    QString m_problemsText; // what it could not read
};
