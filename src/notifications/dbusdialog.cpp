#include "dbusdialog.h"

#include "ui_dbusdialog.h"

#include "checkboxparam.h"
#include "editors/messagebox.h"
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"
#include "notificationcatalogue.h"
#include "notificationfile.h"
#include "notificationsettings.h"
#include "platform/sessionuser.h"
#include "soundpreview.h"

#include <KLocalizedString>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPluginLoader>
#include <QPushButton>
#include <QStandardPaths>

#include <array>
#include <utility>

namespace
{
const QString Repetition = QStringLiteral("notification_repetition");

// The notification's actions as the notification file names them, each with its box.
std::array<std::pair<QString, QCheckBox *>, 4> actionBoxes(const Ui::DBusDialog &ui)
{
    return {{{QStringLiteral("Popup"), ui.popupCheckBox},
             {QStringLiteral("Sound"), ui.soundCheckBox},
             {QStringLiteral("Logfile"), ui.logFileCheckBox},
             {QStringLiteral("Execute"), ui.executeCheckBox}}};
}
}

DBusDialog::DBusDialog(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::DBusDialog>())
{
    ui->setupUi(this);
    // Our own icon names first, then Breeze ones, which every Plasma desktop has.
    ui->popupCheckBox->setIcon(QIcon::fromTheme(QStringLiteral("quor-notifications"), QIcon::fromTheme(QStringLiteral("notifications"))));
    ui->repeatCheckBox->setIcon(QIcon::fromTheme(QStringLiteral("chronometer"), QIcon::fromTheme(QStringLiteral("media-playlist-repeat"))));
    ui->titleLineEdit->setFocus();
    connect(ui->playButton, &QToolButton::clicked, this, &DBusDialog::playButtonClicked);
    connect(ui->logFileDialogButton, &QToolButton::clicked, this, &DBusDialog::logFileDialogButtonClicked);
    connect(ui->soundDialogButton, &QToolButton::clicked, this, &DBusDialog::soundDialogButtonClicked);
    connect(ui->executeDialogButton, &QToolButton::clicked, this, &DBusDialog::executeDialogButtonClicked);
    connect(ui->repeatCheckBox, &QCheckBox::stateChanged, this, &DBusDialog::handleRepeatCheckBox);
    connect(this, &QDialog::accepted, this, &DBusDialog::generateConfig);
    connect(this, &QDialog::rejected, this, [this] {
        m_event = nullptr;
        m_identified = nullptr;
    });
}

DBusDialog::~DBusDialog()
{
    // The player goes now, while the application still runs, not with the
    // plugins unloaded after it.
    if (m_previewLoader) {
        m_previewLoader->unload();
    }
}

void DBusDialog::setDialogType(NotificationsDialogType type)
{
    m_dialogType = type;
}

bool DBusDialog::identify(EventTreeItem *event)
{
    m_error.clear();
    m_identified = nullptr;
    m_notificationId.clear();
    m_appName.clear();
    const EventTreeItem *messageId = event ? event->findChildById(QStringLiteral("message_id")) : nullptr;
    if (!messageId) {
        m_error = i18n("The event has no message identifier; notifications cannot be sent for it.");
        return false;
    }
    m_notificationId = NotificationFile::notificationIdentifier(messageId->data(1).toString());
    NotificationCatalogue &catalogue = NotificationCatalogue::instance();
    catalogue.load();
    m_appName = catalogue.appName(m_notificationId);
    if (m_appName.isEmpty()) {
        m_error = i18n("The event \"%1\" is not listed in the notification catalogue; notifications cannot be sent for it.", event->data(0).toString());
        // Perhaps it is, in a catalogue file that could not be read.
        for (const QString &problem : catalogue.problems()) {
            m_error += QLatin1Char('\n');
            m_error += problem;
        }
        return false;
    }
    if (!SessionUser::current().isValid()) {
        m_error = i18n("The user of this session is not in the password database; notifications cannot be set for them.");
        return false;
    }
    m_identified = event;
    return true;
}

bool DBusDialog::loadStoredSettings(EventTreeItem *event, const QStringList &syslogLines)
{
    const NotificationSettings settings = NotificationSettings::fromSyslogLines(syslogLines);
    m_recipientMode = settings.recipientMode;
    m_title = settings.title;
    m_checkedParams = settings.checkedParams;
    if (!identify(event)) {
        return false;
    }
    QString error;
    if (!NotifyrcFile(SessionUser::current(), m_appName).readSection(m_notificationId, &m_methods, &error)) {
        m_error = i18n("The stored notification settings were not read.\n%1", error);
        return false;
    }
    return true;
}

bool DBusDialog::fill(EventTreeItem *event)
{
    // Stored settings loaded just before have identified the event already
    // (catalogue lookup and "logname"): no need to ask again.
    const bool identified = (event && event == m_identified) || identify(event);
    m_identified = nullptr;
    if (!identified) {
        return false;
    }
    QPushButton *ok = ui->buttonBox->button(QDialogButtonBox::Ok);
    if (m_dialogType == EditNotifications) {
        ok->setEnabled(false);
    } else {
        m_recipientMode = 0;
        m_title.clear();
        m_checkedParams.clear();
        m_methods = NotificationMethods();
        ok->setEnabled(true);
    }

    for (const QMetaObject::Connection &connection : std::as_const(m_cycleConnections)) {
        disconnect(connection);
    }
    m_cycleConnections.clear();

    m_event = event;
    switch (m_recipientMode) {
    case 1:
        ui->selectGroupRadioButton->setChecked(true);
        break;
    case 2:
        ui->userAndGroupRadioButton->setChecked(true);
        break;
    default:
        ui->allUsersRadioButton->setChecked(true);
    }
    const QString eventName = event->data(0).toString();
    ui->eventLabel->setTextFormat(Qt::PlainText);
    ui->eventLabel->setText(eventName);
    ui->titleLineEdit->setText(m_title.isEmpty() ? eventName : m_title);
    // What an emptied title stands for.
    ui->titleLineEdit->setPlaceholderText(eventName);
    ui->titleLineEdit->setToolTip(i18n("Left empty, notifications are titled with the event's name."));

    fillParameters();
    fillMethods();
    fillRepetition();
    if (m_dialogType == EditNotifications) {
        connectChangeTest();
    }
    return true;
}

void DBusDialog::fillParameters()
{
    m_paramNames.clear();
    for (CheckBoxParam *box : std::as_const(m_paramCheckBoxes)) {
        ui->cbLayout->removeWidget(box);
        box->deleteLater();
    }
    m_paramCheckBoxes.clear();
    for (const QString &id : {QStringLiteral("message-params"), QStringLiteral("extend-message-params")}) {
        const EventTreeItem *params = m_event->findChildById(id);
        for (int row = 0; params && row < params->childCount(); ++row) {
            const EventTreeItem *param = params->child(row);
            // Hidden entries (the overlay bookkeeping) are not parameters of the message.
            if (!param->isVisible()) {
                continue;
            }
            const QString text = CheckableTreeModel::messageParameterLabel(param);
            if (!m_paramNames.contains(text)) {
                m_paramNames.insert(text, param->id());
            }
        }
    }
    for (auto it = m_paramNames.cbegin(); it != m_paramNames.cend(); ++it) {
        auto *box = new CheckBoxParam(it.key(), ui->scrollAreaWidgetContents, it.value());
        box->setChecked(m_checkedParams.contains(it.value()));
        m_paramCheckBoxes.append(box);
        ui->cbLayout->addWidget(box);
        if (m_dialogType == EditNotifications) {
            m_cycleConnections << connect(box, &QCheckBox::stateChanged, this, &DBusDialog::setOkButtonState);
        }
    }
}

void DBusDialog::fillMethods()
{
    const QStringList actions = m_methods.actions.split(QLatin1Char('|'));
    const bool enabling = m_dialogType == EnableNotifications;
    for (const auto &[action, box] : actionBoxes(*ui)) {
        // A notification being enabled pops up at least.
        box->setChecked(actions.contains(action) || (enabling && box == ui->popupCheckBox));
    }
    enableSoundElements();
    enableLogFileElements();
    enableExecuteElements();
    m_cycleConnections << connect(ui->soundCheckBox, &QCheckBox::stateChanged, this, &DBusDialog::enableSoundElements);
    m_cycleConnections << connect(ui->logFileCheckBox, &QCheckBox::stateChanged, this, &DBusDialog::enableLogFileElements);
    m_cycleConnections << connect(ui->executeCheckBox, &QCheckBox::stateChanged, this, &DBusDialog::enableExecuteElements);
    ui->soundEdit->setText(m_methods.sound);
    ui->logFileEdit->setText(m_methods.logFile);
    ui->executeEdit->setText(m_methods.executeCommand);
}

void DBusDialog::fillRepetition()
{
    if (!m_event->findChildById(Repetition)) {
        ui->repeatGroupBox->hide();
        return;
    }
    const EventTreeItem *enabled = repetitionItem(QStringLiteral("enabled"));
    const EventTreeItem *interval = repetitionItem(QStringLiteral("interval"));
    m_repeatEnabled = enabled && enabled->data(1).toInt() == 1;
    m_repeatInterval = interval ? interval->data(1).toInt() : 30;
    // Showing the stored values must not write them back into the tree.
    const QSignalBlocker blockSpinBox(ui->intervalSpinBox);
    const QSignalBlocker blockCheckBox(ui->repeatCheckBox);
    ui->intervalSpinBox->setValue(m_repeatInterval);
    ui->repeatCheckBox->setChecked(m_repeatEnabled);
    ui->intervalSpinBox->setEnabled(m_repeatEnabled);
    ui->repeatGroupBox->show();
}

void DBusDialog::connectChangeTest()
{
    for (QRadioButton *button : {ui->allUsersRadioButton, ui->selectGroupRadioButton, ui->userAndGroupRadioButton}) {
        m_cycleConnections << connect(button, &QRadioButton::toggled, this, &DBusDialog::setOkButtonState);
    }
    m_cycleConnections << connect(ui->titleLineEdit, &QLineEdit::textEdited, this, &DBusDialog::setOkButtonState);
    for (QCheckBox *box : {ui->popupCheckBox, ui->soundCheckBox, ui->logFileCheckBox, ui->executeCheckBox, ui->repeatCheckBox}) {
        m_cycleConnections << connect(box, &QCheckBox::stateChanged, this, &DBusDialog::setOkButtonState);
    }
    for (QLineEdit *edit : {ui->soundEdit, ui->logFileEdit, ui->executeEdit}) {
        m_cycleConnections << connect(edit, &QLineEdit::textChanged, this, &DBusDialog::setOkButtonState);
    }
    m_cycleConnections << connect(ui->intervalSpinBox, &QSpinBox::textChanged, this, &DBusDialog::setOkButtonState);
}

EventTreeItem *DBusDialog::repetitionItem(const QString &id) const
{
    const EventTreeItem *repetition = m_event ? m_event->findChildById(Repetition) : nullptr;
    return repetition ? repetition->findChildById(id) : nullptr;
}

int DBusDialog::checkedRecipientMode() const
{
    if (ui->allUsersRadioButton->isChecked()) {
        return NotificationFile::AllUsers;
    }
    if (ui->selectGroupRadioButton->isChecked()) {
        return NotificationFile::Administrators;
    }
    if (ui->userAndGroupRadioButton->isChecked()) {
        return NotificationFile::EventRecipients;
    }
    return NotificationFile::NoRecipients;
}

QStringList DBusDialog::checkedParamKeys() const
{
    QStringList keys;
    for (const CheckBoxParam *box : m_paramCheckBoxes) {
        if (box->isChecked()) {
            keys << box->key().toString();
        }
    }
    return keys;
}

QStringList DBusDialog::chosenActions() const
{
    QStringList actions;
    for (const auto &[action, box] : actionBoxes(*ui)) {
        if (box->isChecked()) {
            actions << action;
        }
    }
    return actions;
}

bool DBusDialog::methodsChanged() const
{
    if (ui->soundEdit->text() != m_methods.sound || ui->logFileEdit->text() != m_methods.logFile || ui->executeEdit->text() != m_methods.executeCommand) {
        return true;
    }
    const QStringList stored = m_methods.actions.split(QLatin1Char('|'));
    for (const auto &[action, box] : actionBoxes(*ui)) {
        if (stored.contains(action) != box->isChecked()) {
            return true;
        }
    }
    return false;
}

bool DBusDialog::settingsUnchanged() const
{
    return checkedRecipientMode() == m_recipientMode && ui->titleLineEdit->text() == m_title && ui->repeatCheckBox->isChecked() == m_repeatEnabled
        && ui->intervalSpinBox->value() == m_repeatInterval && checkedParamKeys() == m_checkedParams && !methodsChanged();
}

void DBusDialog::setOkButtonState()
{
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(!settingsUnchanged());
}

void DBusDialog::enableSoundElements()
{
    const bool on = ui->soundCheckBox->isChecked();
    ui->playButton->setEnabled(on);
    ui->soundEdit->setEnabled(on);
    ui->soundDialogButton->setEnabled(on);
}

void DBusDialog::enableLogFileElements()
{
    const bool on = ui->logFileCheckBox->isChecked();
    ui->logFileEdit->setEnabled(on);
    ui->logFileDialogButton->setEnabled(on);
}

void DBusDialog::enableExecuteElements()
{
    const bool on = ui->executeCheckBox->isChecked();
    ui->executeEdit->setEnabled(on);
    ui->executeDialogButton->setEnabled(on);
}

void DBusDialog::playButtonClicked()
{
    const QString sound = ui->soundEdit->text();
    if (!QFileInfo(sound).isFile()) {
        MessageBox::show(this, MessageBox::Kind::Warning, i18n("Play sound"), i18n("The sound file \"%1\" does not exist.", sound));
        return;
    }
    if (!m_previewLoader) {
        // Loaded now, not with the module: it brings the sound libraries.
        m_previewLoader = std::make_unique<QPluginLoader>(QStringLiteral("quor-admin-events/soundpreview"));
    }
    auto *preview = qobject_cast<SoundPreview *>(m_previewLoader->instance());
    if (!preview) {
        MessageBox::show(this, MessageBox::Kind::Warning, i18n("Play sound"), i18n("The sound cannot be played: %1", m_previewLoader->errorString()));
        m_previewLoader.reset(); // looked for again at the next preview
        return;
    }
    preview->play(sound, 50, [this](const QString &why) {
        MessageBox::show(this, MessageBox::Kind::Warning, i18n("Play sound"), i18n("The sound cannot be played: %1", why));
    });
}

void DBusDialog::logFileDialogButtonClicked()
{
    const QString file = QFileDialog::getOpenFileName(this, i18n("Open log file"), QDir::homePath());
    if (!file.isEmpty()) {
        ui->logFileEdit->setText(file);
    }
}

void DBusDialog::soundDialogButtonClicked()
{
    const QStringList soundDirs = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("sounds"), QStandardPaths::LocateDirectory);
    const QString file =
        QFileDialog::getOpenFileName(this, i18n("Open sound"), soundDirs.isEmpty() ? QString() : soundDirs.last(), i18n("Audio files (*.ogg *.wav)"));
    if (!file.isEmpty()) {
        ui->soundEdit->setText(file);
    }
}

void DBusDialog::executeDialogButtonClicked()
{
    const QString file = QFileDialog::getOpenFileName(this, i18n("Open script file"), QDir::homePath());
    if (!file.isEmpty()) {
        ui->executeEdit->setText(file);
    }
}

void DBusDialog::handleRepeatCheckBox(int state)
{
    // The tree learns the repetition only when the dialog is accepted, through
    // repetitionChosen, so that Cancel leaves it as it was.
    if (state != Qt::PartiallyChecked) {
        ui->intervalSpinBox->setEnabled(state == Qt::Checked);
    }
}

void DBusDialog::accept()
{
    m_lines.clear();
    if (m_event) {
        NotificationFile::Input input = NotificationFile::inputFor(*m_event);
        if (!input.messageId.isEmpty() && !input.messageType.isEmpty()) {
            input.notificationId = m_notificationId;
            input.recipients = checkedRecipientMode();
            input.title = ui->titleLineEdit->text();
            input.parameterKeys = checkedParamKeys();
            const NotificationFile::Result result = NotificationFile::build(input);
            if (!result.error.isEmpty()) {
                MessageBox::show(this, MessageBox::Kind::Error, i18n("Error"), result.error);
                return;
            }
            m_lines = result.lines;
        }
    }
    QDialog::accept();
}

void DBusDialog::generateConfig()
{
    if (!m_event || m_lines.isEmpty()) {
        return;
    }
    const QString fileId = NotificationFile::fileIdentifier(NotificationFile::inputFor(*m_event).messageId);
    m_event = nullptr;

    NotificationMethods methods;
    methods.actions = chosenActions().join(QLatin1Char('|'));
    methods.executeCommand = ui->executeEdit->text();
    methods.logFile = ui->logFileEdit->text();
    methods.sound = ui->soundEdit->text();
    QString error;
    if (!NotifyrcFile(SessionUser::current(), m_appName).writeSection(m_notificationId, methods, &error)) {
        MessageBox::show(this, MessageBox::Kind::Warning, i18n("Error"), i18n("The notification settings of the user were not written.\n%1", error));
    }

    QDBusMessage signal =
        QDBusMessage::createSignal(QStringLiteral("/Config"), QStringLiteral("org.kde.knotification"), QStringLiteral("reparseConfiguration"));
    signal << m_appName;
    QDBusConnection::sessionBus().send(signal);

    if (m_dialogType == EditNotifications && methodsChanged()) {
        Q_EMIT needToReboot();
    }
    if (!ui->repeatGroupBox->isHidden() && (ui->repeatCheckBox->isChecked() != m_repeatEnabled || ui->intervalSpinBox->value() != m_repeatInterval)) {
        Q_EMIT repetitionChosen(ui->repeatCheckBox->isChecked(), ui->intervalSpinBox->value());
    }
    Q_EMIT notificationOn(fileId, m_lines, m_dialogType);
    Q_EMIT dbusAccepted(m_notificationId);
}
