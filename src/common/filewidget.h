#pragma once

#include <QWidget>

#include <memory>

namespace Ui
{
class FileWidget;
}

// A label, a path field and a browse button: the archive path of the export and import tabs.
class FileWidget : public QWidget
{
    Q_OBJECT
public:
    explicit FileWidget(QWidget *parent = nullptr);
    ~FileWidget() override;

    // The browse button asks for a file to save (true) or to open (false).
    void setup(bool saveMode);
    QString text() const;
    void clear();
    // True when a path is given; otherwise tells the user so.
    bool checkSelected() const;

Q_SIGNALS:
    void textChanged(const QString &text);

private:
    void browse(bool saveMode);

    std::unique_ptr<Ui::FileWidget> ui;
};
