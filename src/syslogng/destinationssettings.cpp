#include "destinationssettings.h"

#include "ui_destinationssettings.h"

#include "adddestinationdialog.h"
#include "commonsettingsparser.h"
#include "commonwriter.h"
#include "destinationkind.h"
#include "destinationsmodel.h"
#include "editors/changedoutside.h"
#include "editors/fileeditor.h"
#include "editors/messagebox.h"
#include "editors/problemsmessage.h"
#include "editors/reviewchangesdialog.h"
#include "editors/snapshotbeforewrite.h"
#include "model/treeitem.h"
#include "parseonce.h"
#include "platform/checkedwrite.h"
#include "platform/paths.h"
#include "services/snghandler.h"
#include "syslogngtree.h"

#include <KLocalizedString>
#include <KMessageWidget>

#include <QMenu>

namespace
{
// The faster form is offered once a process: an administrator who keeps the
// old form is not asked again each time the window opens.
bool parseOnceOffered = false;

struct CommonFile {
    std::unique_ptr<TreeItem> tree;
    QString problems; // empty when the file was read whole or is missing
    bool damaged = false; // the tree does not hold the whole file
};

CommonFile readCommonFile()
{
    CommonSettingsParser parser(Paths::placed(Paths::CommonSyslogNgFile));
    CommonFile file;
    file.tree.reset(parser.parse());
    file.damaged = parser.damaged();
    file.problems = file.damaged ? parser.errorString() : QString();
    return file;
}
}

DestinationsSettings::DestinationsSettings(QWidget *parent)
    : SettingsTab(parent)
    , ui(std::make_unique<Ui::DestinationsSettings>())
{
    ui->setupUi(this);
    placeProblems(ui->verticalLayout);
    m_parseOnceMessage = new KMessageWidget(this);
    m_parseOnceMessage->setObjectName(QStringLiteral("parseOnceMessage"));
    m_parseOnceMessage->setMessageType(KMessageWidget::Information);
    m_parseOnceMessage->setWordWrap(true);
    m_parseOnceMessage->setText(
        i18n("This file parses each event record again in the log path of every event that sends notifications, which slows syslog-ng "
             "down as more events notify. In the faster form the events source parses each record once; the records each log path "
             "takes stay the same."));
    m_parseOnceMessage->setCloseButtonVisible(true);
    m_parseOnceMessage->hide();
    auto *reviewParseOnce = new QAction(i18n("Review and use the faster form..."), m_parseOnceMessage);
    reviewParseOnce->setObjectName(QStringLiteral("parseOnceAction"));
    connect(reviewParseOnce, &QAction::triggered, this, &DestinationsSettings::offerParseOnce);
    m_parseOnceMessage->addAction(reviewParseOnce);
    ui->verticalLayout->insertWidget(1, m_parseOnceMessage);
    m_model = new DestinationsModel(this);
    ui->destinationsView->setModel(m_model);
    connect(m_model, &DestinationsModel::modelReset, ui->destinationsView, &QTableView::resizeColumnsToContents);

    m_addDialog = new AddDestinationDialog(this);
    m_addDialog->setWindowTitle(i18n("Destination adding"));
    connect(m_addDialog, &AddDestinationDialog::newDestCreated, this, &DestinationsSettings::addDestination);

    m_editor = new FileEditor(Paths::CommonSyslogNgFile, this);
    m_editor->setWindowTitle(i18n("Events settings file"));
    connect(m_editor, &FileEditor::fileWritten, this, &DestinationsSettings::load);

    m_openEditorAction = new QAction(QIcon::fromTheme(QStringLiteral("document-edit")), i18n("Open in editor"), this);
    m_openEditorAction->setObjectName(QStringLiteral("openInEditorAction"));
    connect(m_openEditorAction, &QAction::triggered, m_editor, &FileEditor::open);

    connect(ui->addButton, &QToolButton::clicked, this, [this] {
        // Every addition starts from empty fields.
        m_addDialog->updateControls();
        m_addDialog->open();
    });
    connect(ui->removeButton, &QToolButton::clicked, this, &DestinationsSettings::removeSelected);
    connect(ui->destinationsView, &QTableView::customContextMenuRequested, this, &DestinationsSettings::showContextMenu);
    // The selection model lives as long as the view's model, which is never replaced.
    connect(ui->destinationsView->selectionModel(), &QItemSelectionModel::selectionChanged, this, &DestinationsSettings::updateRemoveButtonState);

    load();
}

DestinationsSettings::~DestinationsSettings() = default;

void DestinationsSettings::load()
{
    CommonFile file = readCommonFile();
    m_damaged = file.damaged;
    m_problemsText = file.problems;
    problems()->setProblems(file.problems);
    m_model->setRoot(std::move(file.tree));
    refreshExistingNames();
    updateRemoveButtonState();
    const auto *root = dynamic_cast<const SyslogNgRoot *>(m_model->root());
    if (m_damaged || !root || ParseOnce::fasterForm(*root).isEmpty()) {
        m_parseOnceMessage->hide();
    } else if (!parseOnceOffered) {
        parseOnceOffered = true;
        m_parseOnceMessage->show();
    }
}

void DestinationsSettings::offerParseOnce()
{
    const auto *root = dynamic_cast<const SyslogNgRoot *>(m_model->root());
    if (!root || m_damaged) {
        return;
    }
    if (hasChanges()) {
        MessageBox::show(this,
                         MessageBox::Kind::Information,
                         i18n("Information"),
                         i18n("Save or undo the changes of the destinations first: the faster form is made from the file as it is on disk."));
        return;
    }
    const QByteArray text = ParseOnce::fasterForm(*root);
    const FileStamp read = root->stamp();
    if (!ReviewChangesDialog::confirm(this,
                                      i18n("Review changes"),
                                      i18n("Write"),
                                      {{Paths::CommonSyslogNgFile, read.exists(), root->text().toUtf8(), false, text}})) {
        return;
    }
    write(text, read, [this](bool saved) {
        if (saved) {
            m_parseOnceMessage->animatedHide();
        }
    });
}

QByteArray DestinationsSettings::textToWrite(bool *changed) const
{
    const auto *root = dynamic_cast<const SyslogNgRoot *>(m_model->root());
    if (!root) {
        *changed = false;
        return QByteArray();
    }
    const QByteArray text = CommonWriter(Paths::placed(Paths::CommonSyslogNgFile)).contents(root);
    *changed = text != root->text().toUtf8();
    return text;
}

bool DestinationsSettings::hasChanges() const
{
    bool changed = false;
    textToWrite(&changed);
    return changed;
}

void DestinationsSettings::reloadAfterOutsideChange()
{
    if (ChangedOutside::askReload(this, Paths::CommonSyslogNgFile)) {
        load();
    }
}

void DestinationsSettings::save(const std::function<void(bool saved)> &done)
{
    if (m_damaged) {
        // Written from what could be read, the file would lose the rest.
        MessageBox::show(this, MessageBox::Kind::Error, i18n("Error"), i18n("The destinations are not written: %1", m_problemsText));
        return done(false);
    }
    bool changed = false;
    const QByteArray text = textToWrite(&changed);
    if (!changed) {
        return done(true);
    }
    // The file as read is what the edits were made on: changed since, it is
    // neither written over nor merged.
    const auto *root = static_cast<const SyslogNgRoot *>(m_model->root()); // textToWrite() found it one
    const FileStamp read = root->stamp();
    if (!read.matches(Paths::placed(Paths::CommonSyslogNgFile))) {
        reloadAfterOutsideChange();
        return done(false);
    }
    if (ReviewChangesDialog::alwaysBeforeWriting()
        && !ReviewChangesDialog::confirm(this,
                                         i18n("Review changes"),
                                         i18n("Write"),
                                         {{Paths::CommonSyslogNgFile, read.exists(), root->text().toUtf8(), false, text}})) {
        return done(false);
    }
    write(text, read, done);
}

void DestinationsSettings::write(const QByteArray &text, const FileStamp &read, const std::function<void(bool saved)> &done)
{
    // Kept in a snapshot once syslog-ng has accepted the file; syslog-ng goes back to it if it refuses to start.
    const auto snapshot = std::make_shared<QString>();
    CheckedWrite::syslogNg({CheckedWrite::Change{Paths::CommonSyslogNgFile, text, false, read}},
                           runner(),
                           keepSnapshot(this, runner(), snapshot),
                           [this, snapshot, done](const ConfigCheck::Result &written, const QStringList &changedFiles) {
                               if (written.changedOutside) {
                                   reloadAfterOutsideChange();
                                   return done(false);
                               }
                               if (!written.accepted) {
                                   // The old file is still in place: restarting would not bring the change.
                                   MessageBox::show(this, MessageBox::Kind::Error, i18n("Error"), written.message);
                                   return done(false);
                               }
                               if (!changedFiles.isEmpty()) {
                                   SngHandler::instance()->restart(SngHandler::Logging, *snapshot);
                               }
                               // What the next edits are made on.
                               load();
                               done(true);
                           });
}

void DestinationsSettings::updateRemoveButtonState()
{
    const QModelIndexList rows = ui->destinationsView->selectionModel()->selectedRows();
    const bool removable = !rows.isEmpty() && std::none_of(rows.begin(), rows.end(), [this](const QModelIndex &row) {
        return m_model->nameAt(row.row()) == DestinationsModel::DefaultDestination;
    });
    ui->removeButton->setEnabled(removable);
}

void DestinationsSettings::refreshExistingNames()
{
    m_addDialog->setExistingNames(m_model->destinationNames(), m_model->otherStatementNames());
}

void DestinationsSettings::addDestination(const QVector<QVariant> &values)
{
    const std::optional<NewDestination> destination = NewDestination::fromVariants(values);
    if (!destination) {
        return;
    }
    const QString value = destination->kind->optionValue(*destination, m_model->root());
    auto statement = std::make_unique<TreeItem>(QVector<QVariant>{QStringLiteral("destination"), destination->name, QVariant()});
    statement->appendChild(std::make_unique<TreeItem>(QVector<QVariant>{QString(destination->kind->driver), QVariant(), value}));
    m_model->addStatement(std::move(statement));
    refreshExistingNames();
    // The reset dropped the selection without telling the selection model's listeners.
    updateRemoveButtonState();
}

void DestinationsSettings::removeSelected()
{
    const QModelIndexList rows = ui->destinationsView->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        ui->removeButton->setEnabled(false);
        return;
    }
    m_model->removeRowStatement(rows.first().row());
    refreshExistingNames();
    updateRemoveButtonState();
}

void DestinationsSettings::showContextMenu(const QPoint &pos)
{
    QMenu menu;
    menu.addAction(m_openEditorAction);
    menu.exec(ui->destinationsView->viewport()->mapToGlobal(pos));
}
