#pragma once

#include <QDialog>
#include <QVariantList>

#include <memory>

namespace Ui
{
class DiskSpaceMonDialog;
}

// Edits a table of directories with disk-space limits (a JSON array of objects).
class DiskSpaceMonDialog : public QDialog
{
    Q_OBJECT
public:
    explicit DiskSpaceMonDialog(QWidget *parent = nullptr);
    ~DiskSpaceMonDialog() override;

    void setData(const QString &jsonText);

public Q_SLOTS:
    void prepareData();
    // Stays open, saying which cell is wrong, while a limit is not a valid one.
    void accept() override;

Q_SIGNALS:
    // The paths joined with ", ", and the JSON array text.
    void directoriesEdited(const QVariantList &values);

private:
    void addDirectory();
    QString cellText(int row, int column) const;
    // The limit to write for a cell: as read when the cell shows it unchanged,
    // else the typed value in bytes or as a plain number; why not in *refusal.
    QString storedLimit(int row, int column, QString *refusal) const;

    std::unique_ptr<Ui::DiskSpaceMonDialog> ui;
};
