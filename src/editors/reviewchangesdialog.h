#pragma once

#include "platform/unifieddiff.h"

#include <QDialog>

class AsyncProcess;
class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;

// "Review changes": the unified diff of every file a write would change or
// delete, file by file, coloured as a diff, made from the very bytes the write
// would store. Opened to look only, it has Close; before a write, the write's
// own button and Cancel. Its check box is the setting that makes Apply show it
// before every write.
class ReviewChangesDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ReviewChangesDialog(QWidget *parent = nullptr);
    ~ReviewChangesDialog() override;

    // The files to show, once diff has made them (diffShown() follows; the
    // dialog is busy until then); the reason instead when diff could not run.
    void setFiles(const QList<UnifiedDiff::File> &files);
    bool isBusy() const
    {
        return m_busy;
    }
    // Diffs made already (several files, as "velta-event-config-manager --diff" prints them).
    void setDiff(const QByteArray &text);
    // Without writeText the dialog only shows; with it, its OK button writes.
    void setWriteButton(const QString &writeText);
    // The system paths listed, in order.
    QStringList paths() const;

    // Shows files before a write; true when the administrator chose to write.
    // Nothing to change needs no question: true at once.
    static bool confirm(QWidget *parent, const QString &title, const QString &writeText, const QList<UnifiedDiff::File> &files);

    // The setting: Apply (and the settings window's OK, and an import) show
    // the review first. Off unless the administrator switched it on.
    static bool alwaysBeforeWriting();
    static void setAlwaysBeforeWriting(bool always);

Q_SIGNALS:
    // The diffs of setFiles() are shown; ok is false when diff could not run.
    void diffShown(bool ok);

private:
    void showFile(int row);
    void setBusy(bool busy);

    QLabel *m_summary = nullptr;
    QListWidget *m_files = nullptr;
    QPlainTextEdit *m_diff = nullptr;
    QCheckBox *m_always = nullptr;
    QDialogButtonBox *m_buttons = nullptr;
    QList<QByteArray> m_diffs; // one per row of m_files
    bool m_busy = false; // diff is making what setFiles() shows
    AsyncProcess *m_diffRun = nullptr; // Owned by this dialog: closing it stops diff.
};
