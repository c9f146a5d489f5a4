#pragma once

#include <QDialog>

#include <memory>

namespace Ui
{
class FileEditor;
}
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

public Q_SLOTS:
    void accept() override;

Q_SIGNALS:
    void fileWritten();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void loadFile();

    std::unique_ptr<Ui::FileEditor> ui;
    ProblemsMessage *m_problems = nullptr; // Owned by this dialog.
    const QString m_path;
    bool m_readable = false; // the file was read whole as text, or is missing
};
