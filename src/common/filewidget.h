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
    // The browse button asks for a file to save (true) or to open (false).
    Q_PROPERTY(bool saveMode READ saveMode WRITE setSaveMode)
public:
    explicit FileWidget(QWidget *parent = nullptr);
    ~FileWidget() override;

    bool saveMode() const
    {
        return m_saveMode;
    }
    void setSaveMode(bool saveMode)
    {
        m_saveMode = saveMode;
    }
    // The path as typed or chosen: a path of the managed system.
    QString text() const;
    // What the empty field shows and its tool tip says, e.g. where a path may lead.
    void setHint(const QString &text);
    void clear();
    // True when a path is given; otherwise tells the user so.
    bool checkSelected();
    // Tells the user that the work on the path failed, and why after a blank line.
    static void showFailure(QWidget *parent, const QString &headline, const QString &reason);

Q_SIGNALS:
    void textChanged(const QString &text);

private:
    void browse();

    std::unique_ptr<Ui::FileWidget> ui;
    bool m_saveMode = false;
};
