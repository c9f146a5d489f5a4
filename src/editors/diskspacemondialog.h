#pragma once

#include <QDialog>
#include <QVariantList>

// Edits a table of directories with disk-space limits (a JSON array of objects).
class DiskSpaceMonDialog : public QDialog
{
    Q_OBJECT
public:
    explicit DiskSpaceMonDialog(QWidget *parent = nullptr);
    ~DiskSpaceMonDialog() override;

    void setData(const QString &jsonText);

Q_SIGNALS:
    // The paths joined with ", ", and the JSON array text.
    void directoriesEdited(const QVariantList &values);
};
