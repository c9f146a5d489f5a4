#include "quoradminevents.h"

#include "quoradmineventslog.h"

#include "ui_quoradminevents.h"

#include "common/commonsettingswindow.h"
#include "editors/diskspacemondialog.h"
#include "editors/filesdialog.h"
#include "editors/messagebox.h"
#include "editors/plaintext.h"
#include "editors/problemsmessage.h"
#include "eventfinder.h"
#include "eventsproxymodel.h"
#include "model/checkabletreemodel.h"
#include "platform/asyncprocess.h"
#include "platform/configcheck.h"
#include "platform/configsnapshot.h"
#include "platform/integrity.h"
#include "platform/paths.h"
#include "services/snghandler.h"
#include "tooltipper.h"

#include <KLocalizedString>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
// The module's own shell holds this page alone and may end with it; any other
// host (System Settings) holds other pages, with their edits, and keeps running.
bool inOwnShell()
{
    const QString name = QCoreApplication::applicationName();
    return name == QLatin1String("kcmshell5") || name == QLatin1String("kcmshell6");
}
}

QuorAdminEvents::QuorAdminEvents(QWidget *parent, const QVariantList &args)
    : ModulePage(parent, args)
    , ui(std::make_unique<Ui::QuorAdminEvents>())
{
    KLocalizedString::setApplicationDomain("quor-admin-events");
    m_missingRights = missingRights();
    if (!m_missingRights.isEmpty() && inOwnShell()) {
        QApplication::restoreOverrideCursor();
        qCWarning(QUOR_ADMIN_EVENTS) << "not enough rights to administer the system; the module ends";
        MessageBox::show(this, MessageBox::Kind::Warning, i18n("Warning!"), m_missingRights);
        ::exit(0);
    }
    // The files the module creates are system configuration, whatever umask the
    // settings centre was started with: never writable by group or others.
    ::umask(022);

    ui->setupUi(this);
    ui->sngStatusLabel->setTextFormat(Qt::PlainText);
    m_applyProcess = new AsyncProcess(this);
    m_diskCheckProcess = new AsyncProcess(this);
    ui->messageWidget->hide();
    ui->messageWidget->setCloseButtonVisible(true);
    m_problems = new ProblemsMessage(this);
    ui->verticalLayout_2->insertWidget(0, m_problems);
    // Stays while the problem does: edits and messages of actions do not hide it.
    m_diskProblemMessage = new KMessageWidget(this);
    m_diskProblemMessage->setObjectName(QStringLiteral("diskProblemMessage"));
    m_diskProblemMessage->setMessageType(KMessageWidget::Error);
    m_diskProblemMessage->setCloseButtonVisible(false);
    m_diskProblemMessage->setWordWrap(true);
    m_diskProblemMessage->hide();
    ui->verticalLayout_2->insertWidget(1, m_diskProblemMessage);

    const QString buttonStyle = QStringLiteral("QPushButton { text-align: left; padding: 6px; }");
    ui->commonSettingsButton->setIcon(QIcon::fromTheme(QStringLiteral("gear"), QIcon::fromTheme(QStringLiteral("configure"))));
    ui->commonSettingsButton->setText(i18n("Settings"));
    ui->commonSettingsButton->setStyleSheet(buttonStyle);
    connect(ui->commonSettingsButton, &QPushButton::clicked, this, [this] {
        commonSettingsWindow()->openOnFirstTab();
    });
    addReviewButton(ui->buttonLayout, ui->buttonLayout->indexOf(ui->commonSettingsButton) + 1);
    ui->sngStartStopButton->setStyleSheet(buttonStyle);
    // Until the first answer of the status query arrives.
    ui->sngStatusLabel->setText(i18n("Asking for the state of the logging service..."));
    ui->sngStartStopButton->setEnabled(false);
    // The handler reports from the event loop, after the call that started the command has returned.
    connect(SngHandler::instance(), &SngHandler::statusReady, this, &QuorAdminEvents::showServiceStatus);
    connect(SngHandler::instance(), &SngHandler::switchFailed, this, &QuorAdminEvents::showServiceFailure);
    connect(SngHandler::instance(), &SngHandler::restartFinished, this, &QuorAdminEvents::showRestartOutcome);
    if (m_missingRights.isEmpty()) {
        // Asked once the event loop runs: the query starts outside programs, which
        // would otherwise compete with building and showing the page.
        QTimer::singleShot(0, this, &QuorAdminEvents::updateServiceStatus);
    }
    m_statusTimer = new QTimer(this);
    m_statusTimer->setInterval(StatusRefreshMs);
    connect(m_statusTimer, &QTimer::timeout, this, &QuorAdminEvents::refreshServiceStatus);

    m_savedModel = new CheckableTreeModel(this);
    m_currentModel = new CheckableTreeModel(this);
    m_proxy = new EventsProxyModel(this);
    m_proxy->setFilterRole(CheckableTreeModel::VisibleRole);
    m_proxy->setSourceModel(m_currentModel);
    ui->singleEventsView->setModel(m_proxy);
    ui->singleEventsView->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    // The width follows the rows on screen: measuring the text of every row of
    // thousands of events at each reset would cost more than reading them.
    ui->singleEventsView->header()->setResizeContentsPrecision(0);
    ui->singleEventsView->setAlternatingRowColors(true);
    connect(ui->singleEventsView, &QTreeView::clicked, this, &QuorAdminEvents::editSelection);
    connect(ui->singleEventsView, &QTreeView::doubleClicked, this, &QuorAdminEvents::editEvent);
    // The view shows the proxy; repaint it when source rows change underneath.
    connect(m_currentModel, &CheckableTreeModel::dataChanged, ui->singleEventsView, [this] {
        ui->singleEventsView->viewport()->update();
    });
    connect(m_currentModel, &CheckableTreeModel::modelReset, ui->singleEventsView, [this] {
        ui->singleEventsView->expandToDepth(0);
    });
    connect(m_currentModel, &CheckableTreeModel::valueRefused, this, [this](const QString &reason) {
        showMessage(KMessageWidget::Error, reason);
        m_shownRefusal = reason;
    });
    // The refusal is answered once a value is stored; other messages stay.
    connect(m_currentModel, &CheckableTreeModel::valueAccepted, this, [this] {
        if (!m_shownRefusal.isEmpty() && ui->messageWidget->text() == m_shownRefusal) {
            ui->messageWidget->animatedHide();
        }
        m_shownRefusal.clear();
    });
    connect(m_currentModel, &CheckableTreeModel::dataChanged, this, &QuorAdminEvents::checkChanges);
    connect(m_currentModel, &CheckableTreeModel::notificationChanged, this, &QuorAdminEvents::checkChanges);
    ui->singleEventsView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->singleEventsView, &QTreeView::customContextMenuRequested, this, &QuorAdminEvents::showContextMenu);
    ui->singleEventsView->viewport()->installEventFilter(new ToolTipper(ui->singleEventsView));

    m_missingEventsLabel = new QLabel(this);
    m_missingEventsLabel->setObjectName(QStringLiteral("missingEventsLabel"));
    m_missingEventsLabel->setWordWrap(true);
    m_missingEventsLabel->hide();
    ui->verticalLayout->insertWidget(ui->verticalLayout->indexOf(ui->singleEventsView) + 1, m_missingEventsLabel);

    m_finder = new EventFinder(ui->singleEventsView, m_currentModel, m_proxy, this);
    ui->searchLayout->addWidget(m_finder);
    ui->searchLayout->addStretch();

    setButtons(Help | Apply);

    connect(SngHandler::instance(), &SngHandler::sngSwitched, this, &QuorAdminEvents::updateServiceStatus);

    if (!m_missingRights.isEmpty()) {
        showMissingRights();
        return;
    }
    readNotificationFilesOnDisk();
}

QuorAdminEvents::~QuorAdminEvents()
{
    // Closing returns at once: a command that still runs (a hung restart or
    // status query) is abandoned and killed, its result ignored.
    SngHandler::instance()->abandonAll();
    m_applyProcess->abandon();
}

// The windows below are made when first opened, not with the page: together they
// cost the page a good part of its opening time, and most visits open none of them.
// Each is made once and kept.

CommonSettingsWindow *QuorAdminEvents::commonSettingsWindow()
{
    if (!m_commonSettingsWindow) {
        m_commonSettingsWindow = new CommonSettingsWindow(this);
        m_commonSettingsWindow->setWindowTitle(i18n("Common parameters"));
        connect(m_commonSettingsWindow, &CommonSettingsWindow::configurationImported, this, &QuorAdminEvents::configurationImported, Qt::DirectConnection);
        // An import or restore replaces what the page's pending edits were made on.
        m_commonSettingsWindow->setPendingPageEdits([this] {
            return m_currentModel->differsFrom(*m_savedModel) || !m_pendingFiles.isEmpty() || !m_filesToDelete.isEmpty();
        });
    }
    return m_commonSettingsWindow;
}

void QuorAdminEvents::configurationImported(bool complete, const QString &summary, const QStringList &files)
{
    clearMessage();
    // No edit and no Apply until syslog-ng has judged what the import left.
    setApplying(true);
    // The import checked its files; what runs must still pass as a whole.
    ConfigCheck::syslogNg(Paths::placed(Paths::SyslogNgConfDir), m_applyProcess->runner(), [this, complete, summary, files](const ConfigCheck::Result &check) {
        setApplying(false);
        // The load below reads what changed meanwhile.
        m_reloadMissed = false;
        if (!check.accepted) {
            qCWarning(QUOR_ADMIN_EVENTS).noquote() << "imported configuration refused by syslog-ng, not restarted:" << check.message;
        }
        load();
        Q_EMIT changed(false);
        // Said in the page once the window has gone, as after Apply.
        const bool restarting = check.accepted && SngHandler::unitsReading(files);
        QString text = summary;
        if (restarting) {
            text += QLatin1Char('\n') + i18n("The logging service is being restarted.");
        } else if (!check.accepted) {
            text += QLatin1Char('\n') + i18n("syslog-ng refuses the configuration and was not restarted.\n\n%1", check.message);
        }
        showMessage(complete && check.accepted ? KMessageWidget::Positive : KMessageWidget::Error, text);
        if (restarting) {
            // The configuration manager kept the configuration before the import as its newest snapshot.
            restartFor(SngHandler::unitsReading(files), ConfigSnapshot::newest(), summary);
        }
        // An import may have replaced the file that syslog-ng refused.
        if (!m_diskProblem.isEmpty()) {
            checkConfigurationOnDisk();
        }
        Q_EMIT importShown();
    });
}

DBusDialog *QuorAdminEvents::dbusDialog()
{
    if (!m_dbusDialog) {
        m_dbusDialog = new DBusDialog(this);
        m_dbusDialog->setWindowTitle(i18n("Notifications sending"));
        connect(m_dbusDialog, &DBusDialog::notificationOn, this, &QuorAdminEvents::notificationAccepted);
        connect(m_dbusDialog, &DBusDialog::repetitionChosen, this, &QuorAdminEvents::repetitionAccepted);
        connect(m_dbusDialog, &DBusDialog::needToReboot, this, [this] {
            m_rebootPending = true;
        });
        connect(m_dbusDialog, &DBusDialog::dbusAccepted, this, &QuorAdminEvents::notificationsUpdated);
        // A reload destroys the tree the dialog edits.
        connect(m_currentModel, &CheckableTreeModel::modelAboutToBeReset, m_dbusDialog, &DBusDialog::reject);
    }
    return m_dbusDialog;
}

FilesDialog *QuorAdminEvents::filesDialog()
{
    if (!m_filesDialog) {
        m_filesDialog = new FilesDialog(this);
        connect(m_filesDialog, &FilesDialog::fileListEdited, this, &QuorAdminEvents::fileArrayAccepted);
    }
    return m_filesDialog;
}

DiskSpaceMonDialog *QuorAdminEvents::diskSpaceMonDialog()
{
    if (!m_diskSpaceMonDialog) {
        m_diskSpaceMonDialog = new DiskSpaceMonDialog(this);
        connect(m_diskSpaceMonDialog, &DiskSpaceMonDialog::directoriesEdited, this, &QuorAdminEvents::directoriesAccepted);
    }
    return m_diskSpaceMonDialog;
}

void QuorAdminEvents::showMessage(KMessageWidget::MessageType type, const QString &text)
{
    ui->messageWidget->setMessageType(type);
    // It names the archive as typed and quotes what the tools said.
    ui->messageWidget->setText(shownPlain(text));
    ui->messageWidget->setWordWrap(true);
    ui->messageWidget->animatedShow();
}

QSize QuorAdminEvents::sizeHint() const
{
    return ModulePage::sizeHint().expandedTo(QSize(900, 600));
}

QString QuorAdminEvents::missingRights()
{
    QStringList requirements;
    const bool highIntegrity = Integrity::isCurrentProcessHasMaxMIC();
    if (!highIntegrity) {
        requirements << i18n("log in to the session under a high level of integrity");
    }
    if (geteuid() != 0) {
        requirements << i18n("run this application with superuser privileges");
    }
    if (requirements.isEmpty()) {
        // Root works on a system root only when no one else can change it.
        return Paths::rootRefusal();
    }
    qCWarning(QUOR_ADMIN_EVENTS) << "not enough rights to administer the system. High integrity:" << highIntegrity << "effective user id:" << geteuid();
    return i18n("To administer the system you must %1.", requirements.join(i18n(" and ")));
}

void QuorAdminEvents::showMissingRights()
{
    // Everything but the warning is disabled: the page reads and writes nothing.
    const QList<QWidget *> parts = findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *part : parts) {
        part->setEnabled(false);
    }
    auto *warning = new KMessageWidget(m_missingRights, this);
    warning->setObjectName(QStringLiteral("missingRightsMessage"));
    warning->setMessageType(KMessageWidget::Warning);
    warning->setCloseButtonVisible(false);
    warning->setWordWrap(true);
    ui->verticalLayout_2->insertWidget(0, warning);
}

void QuorAdminEvents::editSelection(const QModelIndex &index)
{
    if (!index.isValid()) {
        return;
    }
    QItemSelectionModel *selection = ui->singleEventsView->selectionModel();
    selection->clearSelection();
    selection->select(index.sibling(index.row(), 1), QItemSelectionModel::Select);
    selection->select(index, QItemSelectionModel::Select);
}

void QuorAdminEvents::editEvent(const QModelIndex &index)
{
    if (!index.isValid() || index.column() != 1) {
        return;
    }
    // The dialog of each editor the model names; a parameter typed into its cell has none.
    using ShowEditor = void (QuorAdminEvents::*)(ParameterEditor::Kind kind, const QString &title, const QModelIndex &cell);
    static const std::pair<ParameterEditor::Kind, ShowEditor> editors[] = {
        {ParameterEditor::Kind::FileList, &QuorAdminEvents::showFilesEditor},
        {ParameterEditor::Kind::DirectoryList, &QuorAdminEvents::showFilesEditor},
        {ParameterEditor::Kind::Directories, &QuorAdminEvents::showDirectoriesEditor},
    };
    const QModelIndex source = m_proxy->mapToSource(index);
    const QModelIndex first = source.sibling(source.row(), 0);
    const auto kind = static_cast<ParameterEditor::Kind>(m_currentModel->data(first, CheckableTreeModel::EditorRole).toInt());
    for (const auto &[editorKind, show] : editors) {
        if (editorKind == kind) {
            (this->*show)(kind, m_currentModel->data(first, Qt::DisplayRole).toString(), source);
        }
    }
}

void QuorAdminEvents::showFilesEditor(ParameterEditor::Kind kind, const QString &title, const QModelIndex &cell)
{
    FilesDialog *dialog = filesDialog();
    dialog->setMode(kind == ParameterEditor::Kind::DirectoryList ? 1 : 0);
    dialog->setWindowTitle(title);
    dialog->setData(m_currentModel->data(cell, Qt::EditRole));
    dialog->show();
}

void QuorAdminEvents::showDirectoriesEditor(ParameterEditor::Kind, const QString &title, const QModelIndex &cell)
{
    DiskSpaceMonDialog *dialog = diskSpaceMonDialog();
    dialog->setWindowTitle(title);
    dialog->setData(m_currentModel->data(cell.sibling(cell.row(), 2), Qt::DisplayRole).toString());
    dialog->show();
}

void QuorAdminEvents::fileArrayAccepted(const QVariant &data)
{
    if (!ui->singleEventsView->selectionModel()->hasSelection()) {
        return;
    }
    const QModelIndex current = ui->singleEventsView->currentIndex();
    m_proxy->setData(current, data, Qt::EditRole);
    const QModelIndex rules = m_proxy->data(current, CheckableTreeModel::AuditRulesIndexRole).toModelIndex();
    if (rules.isValid()) {
        m_currentModel->updateAuditRules(rules, data);
    }
}

void QuorAdminEvents::directoriesAccepted(const QVariantList &data)
{
    if (!ui->singleEventsView->selectionModel()->hasSelection() || data.size() < 2) {
        return;
    }
    const QModelIndex current = ui->singleEventsView->currentIndex();
    m_proxy->setData(current.sibling(current.row(), 1), data.at(0), Qt::EditRole);
    m_proxy->setData(current.sibling(current.row(), 2), data.at(1), Qt::EditRole);
}

void QuorAdminEvents::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        ModulePage::keyPressEvent(event);
        return;
    }
    if (m_finder->isAncestorOf(QApplication::focusWidget()) || m_finder->hasFocus()) {
        return;
    }
    if (ui->sngStartStopButton->hasFocus()) {
        Q_EMIT ui->sngStartStopButton->clicked();
    } else if (ui->commonSettingsButton->hasFocus()) {
        Q_EMIT ui->commonSettingsButton->clicked();
    }
}

void QuorAdminEvents::keyReleaseEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        editSelection(ui->singleEventsView->selectionModel()->currentIndex());
        break;
    default:
        break;
    }
    ModulePage::keyReleaseEvent(event);
}

void QuorAdminEvents::checkChanges()
{
    const bool differs = m_currentModel->differsFrom(*m_savedModel);
    // What the page said of its last action is stale once new edits wait; a
    // refusal still waits for a value it can take.
    if (differs && !ui->messageWidget->isHidden() && ui->messageWidget->text() != m_shownRefusal) {
        clearMessage();
    }
    Q_EMIT changed(differs);
}
