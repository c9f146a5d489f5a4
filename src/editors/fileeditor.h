#pragma once

#include <QDialog>

#include <memory>

namespace Ui
{
class FileEditor;
}

// Edits a whole text file. The file is read again every time the editor is
// shown, so that accepting never writes back stale text.
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
    const QString m_path;
};
