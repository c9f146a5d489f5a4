#pragma once

#include "platform/configcheck.h"

#include <QDialog>

#include <memory>

namespace Ui
{
class FileEditor;
}
class AsyncProcess;
class ProblemsMessage;

// Edits a whole text file. The file is read every time the editor is shown,
// never before, so that accepting never writes back stale text. A file that
// cannot be read whole as text is named with the reason and cannot be saved.
class FileEditor : public QDialog
{
    Q_OBJECT
public:
    // path is the system path of the file.
    explicit FileEditor(const QString &path, QWidget *parent = nullptr);
    ~FileEditor() override;

    QString filePath() const
    {
        return m_path;
    }
    // A save is checking or writing the file; a second does not start.
    bool isBusy() const
    {
        return m_busy;
    }

public Q_SLOTS:
    // Checks and writes the text; the editor closes once it is written.
    void accept() override;
    // Also while a save runs: its programs are stopped and nothing is written.
    void reject() override;

Q_SIGNALS:
    void fileWritten();
    // A save ended, written or not.
    void saveEnded(bool written);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void loadFile();
    void setBusy(bool busy);
    void saved(const ConfigCheck::Result &written, const QStringList &changed, const QString &snapshot);

    std::unique_ptr<Ui::FileEditor> ui;
    ProblemsMessage *m_problems = nullptr; // Owned by this dialog.
    const QString m_path;
    bool m_readable = false; // the file was read whole as text, or is missing
    bool m_busy = false;
    AsyncProcess *m_process = nullptr; // Owned by this dialog: closing it stops the check.
};
