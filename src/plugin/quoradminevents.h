#pragma once

#include "model/parametereditor.h"
#include "modulepage.h"
#include "notifications/dbusdialog.h"
#include "platform/checkedwrite.h"
#include "platform/configsnapshot.h"
#include "platform/filestamp.h"
#include "platform/unifieddiff.h"
#include "services/snghandler.h"

#include <KMessageWidget>

#include <QHash>
#include <QList>
#include <QModelIndex>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class AsyncProcess;
class CheckableTreeModel;
class EventsWriter;
class QBoxLayout;
class CommonSettingsWindow;
class DiskSpaceMonDialog;
class EventFinder;
class EventTreeItem;
class EventsProxyModel;
class FilesDialog;
class ProblemsMessage;
class QFileSystemWatcher;
class QLabel;
class QTimer;

namespace Ui
{
class QuorAdminEvents;
}

// The settings page: the event tree with its search bar, the service status and
// buttons, and the windows that edit what does not fit into the tree.
class QuorAdminEvents : public ModulePage
{
    Q_OBJECT
public:
    QuorAdminEvents(QWidget *parent, const QVariantList &args);
    ~QuorAdminEvents() override;

    // The settings shell opens the page at this size: the tree's columns and a
    // good number of rows, not the layout's minimum, while the shell's window
    // still fits a screen 768 pixels high. The page stays resizable.
    QSize sizeHint() const override;

    CheckableTreeModel *savedModel() const
    {
        return m_savedModel;
    }
    CheckableTreeModel *currentModel() const
    {
        return m_currentModel;
    }
    // The page's own message line above the buttons: results and refusals that
    // need no answer.
    void showMessage(KMessageWidget::MessageType type, const QString &text);

    // How often the service status is asked while the page is shown.
    static constexpr int StatusRefreshMs = 5000;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

Q_SIGNALS:
    // Apply has ended, whatever its outcome: also when it was refused or
    // stopped before anything was written. The restart it asked for may still run.
    void applyFinished();
    // The page shows what an import or a restore changed, once syslog-ng has
    // judged the configuration it left.
    void importShown();

public Q_SLOTS:
    void load() override;
    void save() override;
    void editSelection(const QModelIndex &index);
    void editEvent(const QModelIndex &index);
    void notificationsUpdated();
    void fileArrayAccepted(const QVariant &data);
    void directoriesAccepted(const QVariantList &data);

private:
    // What the administrator lacks to use the page, as the warning says it;
    // empty when nothing is missing.
    static QString missingRights();
    // In a host that is not the module's own shell: the page says so and stays
    // disabled, reading and writing nothing.
    void showMissingRights();
    // The page's windows, made when first asked for and kept.
    CommonSettingsWindow *commonSettingsWindow();
    DBusDialog *dbusDialog();
    FilesDialog *filesDialog();
    DiskSpaceMonDialog *diskSpaceMonDialog();
    // The parameter editors of editEvent(), over the value cell (column 1) of
    // the page's model; title is the parameter's name.
    void showFilesEditor(ParameterEditor::Kind kind, const QString &title, const QModelIndex &cell);
    void showDirectoriesEditor(ParameterEditor::Kind kind, const QString &title, const QModelIndex &cell);
    // An import or restore in the common parameters window changed the system's files.
    void configurationImported(bool complete, const QString &summary, const QStringList &files);
    void checkChanges();
    void updateServiceStatus();
    // The periodic query, skipped while an answer is awaited.
    void refreshServiceStatus();
    void showServiceStatus(quint64 query, SngHandler::State state, const QString &text, SngHandler::Units stopped);
    void showServiceFailure(const QString &message);
    // The services are restarted (those that read the changed files:
    // SngHandler::unitsReading()); the page then tells how that went, after
    // what summary says of the action.
    void restartFor(SngHandler::Units units, const QString &snapshot, const QString &summary);
    void showRestartOutcome(quint64 restart, const SngHandler::RestartOutcome &outcome);
    // Messages tell of the last action only: a new one clears them.
    void clearMessage();
    void startLoggingService();
    void stopLoggingService();
    void reloadOnFileChange();
    // A fresh watcher of the settings, and a note of the package folder's state.
    void watchSettings();
    // After a write that nothing outside changed since: the saved model takes
    // the current tree's state instead of a new parse of what was written.
    void keepWrittenTree();
    // Whether the last load met no problem, the settings file holds what the
    // save wrote and the package folders are as the last load found them.
    bool onlyOwnWritesSinceLoad(const QByteArray &writtenSettings) const;
    void showEventsMissingFromPackage();
    // Reads the per-event syslog-ng files through the guard; one line
    // "<path>: <reason>" for each that is there but cannot be read as text.
    QStringList readNotificationFilesOnDisk();
    // Whether Apply may replace the settings file: asked when it could not be
    // read, and then a copy of it is kept beside it first.
    bool mayReplaceSettingsFile();
    // Apply runs its outside programs without waiting for them; meanwhile the
    // page shows it is busy and takes no edits.
    void setApplying(bool applying);
    // The steps after syslog-ng accepted the files and the snapshot was taken.
    void writeApply(const QList<CheckedWrite::Change> &changes, EventsWriter &writer, const QString &snapshot);
    // After the reboot question: the page shows what was written, and why a
    // reboot asked for could not be requested, and the services that read
    // what was written are restarted.
    void concludeApply(const QStringList &errors,
                       const QStringList &written,
                       const QStringList &changed,
                       const QString &snapshot,
                       const QByteArray &writtenSettings,
                       const QString &rebootFailure);
    // Apply stopped before writing: the page keeps its edits. A refusal of
    // syslog-ng's is shown first.
    void stopApply(const QString &refusal = QString());
    void endApply();
    // The files Apply writes or deletes (system paths), in the order it does.
    QStringList filesOfApply() const;
    // Notes what the page read of the files Apply writes.
    void rememberReadFiles(const FileStamp &settingsFile);
    FileStamp readStamp(const QString &systemPath) const;
    // The same for a writer: none when the file could not be read at all.
    std::optional<FileStamp> expectedStamp(const QString &systemPath) const;
    // Whether every file Apply writes still holds what the page read; asks to
    // reload the page when one does not.
    bool filesOfApplyUnchanged();
    // The per-event files Apply writes and deletes, with their contents.
    QList<CheckedWrite::Change> notificationChanges() const;
    // Every file Apply would write or delete, as it is and as Apply leaves it.
    static QList<UnifiedDiff::File> filesOfApply(const QList<CheckedWrite::Change> &changes, const EventsWriter &writer);
    // "Review changes...", inserted into the page's buttons.
    void addReviewButton(QBoxLayout *buttons, int index);
    // Shows what Apply would write now, writing nothing.
    void reviewChanges();
    // The tree as the settings file was read or last written, so that Apply
    // keeps the lines of unedited events; null when the file was not read whole.
    const EventTreeItem *settingsAsRead() const;
    // Column 0 of the first selected row in the current model; invalid without a selection.
    QModelIndex selectedEventIndex() const;
    void showContextMenu(const QPoint &pos);
    void switchNotificationsOff(EventTreeItem *event);
    // The "message_id" of an event; empty when it has none.
    static QString messageIdOf(const EventTreeItem *event);
    // The event among the groups below item (the root or a group) whose
    // per-event file is at systemPath; null when none.
    static const EventTreeItem *eventOfFile(const EventTreeItem *item, const QString &systemPath);

    // syslog-ng judges the configuration on disk off the GUI thread; what it
    // refuses is shown above the tree with what to do about it.
    void checkConfigurationOnDisk();
    void showDiskProblem(const QString &refusal);
    // The file of the include folder that a refusal names (a system path); empty when none.
    static QString refusedFileOf(const QString &message);
    QString diskProblemAdvice() const;
    // syslog-ng's check of what Apply writes. A refusal that comes from the
    // file refused on disk, which this Apply leaves as it is, is asked about
    // once the change alone has passed; goOn follows when Apply may write,
    // keepLogging when the logging service must not be restarted.
    void checkSyslogNgOfApply(const QList<CheckedWrite::Change> &changes, const std::function<void(bool keepLogging)> &goOn);
    void openNotificationDialog(EventTreeItem *event, NotificationsDialogType type);
    void notificationAccepted(const QString &fileId, const QStringList &lines, NotificationsDialogType type);
    void repetitionAccepted(bool enabled, int interval);

    std::unique_ptr<Ui::QuorAdminEvents> ui;
    QString m_missingRights; // the warning of missingRights(), fixed for the page's life
    CheckableTreeModel *m_savedModel = nullptr; // Owned by this widget.
    CheckableTreeModel *m_currentModel = nullptr; // Owned by this widget.
    EventsProxyModel *m_proxy = nullptr; // Owned by this widget.
    EventFinder *m_finder = nullptr; // Owned by this widget.
    // Owned by this widget; null until first opened.
    CommonSettingsWindow *m_commonSettingsWindow = nullptr;
    DBusDialog *m_dbusDialog = nullptr;
    FilesDialog *m_filesDialog = nullptr;
    DiskSpaceMonDialog *m_diskSpaceMonDialog = nullptr;
    QLabel *m_missingEventsLabel = nullptr; // Owned by this widget.
    QFileSystemWatcher *m_watcher = nullptr; // Owned by this widget; renewed at every load and save.
    std::vector<qint64> m_packageStamp; // of the package folders, when they were last watched
    ProblemsMessage *m_problems = nullptr; // Owned by this widget.

    SngHandler::State m_serviceState = SngHandler::State::Stopped; // the last shown service state
    SngHandler::Units m_stoppedUnits; // and the units it named stopped
    bool m_firstStatusUpdate = true; // per page, so that every new page shows its state
    quint64 m_shownStatusQuery = 0; // the status query whose answer is shown
    quint64 m_askedStatusQuery = 0; // the last status query this page asked
    QTimer *m_statusTimer = nullptr; // Owned by this widget; runs while the page is shown.
    quint64 m_pageRestart = 0; // the restart of the page's last action
    QString m_restartSummary; // what the page said of that action
    QString m_shownRefusal; // the refused value's reason while the page shows it
    bool m_rebootPending = false; // the notification methods changed
    bool m_notificationRebootPending = false; // the notification files were handed to the users
    bool m_reloading = false;
    bool m_applying = false;
    bool m_reloadMissed = false; // the settings changed on disk while Apply ran
    AsyncProcess *m_applyProcess = nullptr; // Owned by this widget; the outside programs of Apply.
    AsyncProcess *m_diskCheckProcess = nullptr; // Owned by this widget; the check of the configuration on disk.
    KMessageWidget *m_diskProblemMessage = nullptr; // Owned by this widget.
    bool m_diskChecked = false; // the first load started the check
    QString m_diskProblem; // what syslog-ng refuses on disk; empty when nothing
    QString m_diskProblemFile; // the include file it names (system path); empty when none
    bool m_loggingKept = false; // this Apply leaves a refused file as it is: syslog-ng is not restarted
    std::unique_ptr<ConfigSnapshot::Held> m_heldSnapshot; // of the Apply under way
    bool m_settingsFileDamaged = false; // the last load could not read the settings file whole
    bool m_settingsReadWhole = false; // the same, not cleared when the administrator lets Apply replace the file
    bool m_loadedCleanly = false; // the last load met no problem in any file

    QHash<QString, QString> m_filesToDelete; // file key -> system path (not placed)
    QHash<QString, QStringList> m_pendingFiles; // file identifier -> lines
    QHash<QString, QStringList> m_notificationFilesOnDisk; // file identifier -> lines
    QHash<QString, FileStamp> m_readFiles; // system path -> what the last load read of a file Apply writes
    QHash<QString, FileStamp> m_notificationFileStamps; // system path -> what readNotificationFilesOnDisk() read
};
