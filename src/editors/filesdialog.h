#pragma once

#include <QDialog>
#include <QVariant>

#include <memory>

namespace Ui
{
class FilesDialog;
}

// Edits a comma-separated list of files (mode 0) or directories (mode 1).
class FilesDialog : public QDialog
{
    Q_OBJECT
public:
    explicit FilesDialog(QWidget *parent = nullptr);
    ~FilesDialog() override;

    void setMode(int mode);
    void setData(const QVariant &value);

Q_SIGNALS:
    void fileListEdited(const QVariant &value);

private Q_SLOTS:
    void on_buttonBox_accepted();

private:
    void addPath();

    std::unique_ptr<Ui::FilesDialog> ui;
    int m_mode = 0;
};
