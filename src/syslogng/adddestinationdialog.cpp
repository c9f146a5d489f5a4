#include "adddestinationdialog.h"

#include "ui_adddestinationdialog.h"

#include "destinationsmodel.h"
#include "editors/pathchooser.h"
#include "filedestination.h"

#include <KLocalizedString>

#include <QHostAddress>
#include <QPushButton>
#include <QRegularExpression>

namespace
{
const QRegularExpression &namePattern()
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("[a-zA-Z][a-zA-Z0-9_]*")));
    return pattern;
}

const QRegularExpression &ipv4Pattern()
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("((25[0-5]|(2[0-4]|1\\d|[1-9]|)\\d)\\.?\\b){4}")));
    return pattern;
}

// Labels of letters, digits and inner hyphens, at most 63 each and 253 in all.
const QRegularExpression &hostNamePattern()
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QStringLiteral("(?=.{1,253}$)([a-zA-Z0-9]([a-zA-Z0-9-]{0,61}[a-zA-Z0-9])?)(\\.[a-zA-Z0-9]([a-zA-Z0-9-]{0,61}[a-zA-Z0-9])?)*\\.?")));
    return pattern;
}
}

QString AddDestinationDialog::addressRefusal(const QString &address)
{
    if (address.contains(QLatin1Char(':'))) {
        // A scope ("%eth0") names an interface of this machine, not of the receiver.
        const QHostAddress parsed(address);
        return parsed.protocol() == QAbstractSocket::IPv6Protocol && parsed.scopeId().isEmpty() ? QString() : i18n("The IPv6 address is not valid.");
    }
    // Digits and dots only: meant as an IPv4 address, whatever the host name rules allow.
    static const QRegularExpression numeric(QRegularExpression::anchoredPattern(QStringLiteral("[0-9.]+")));
    if (numeric.match(address).hasMatch()) {
        return ipv4Pattern().match(address).hasMatch() && !address.endsWith(QLatin1Char('.')) ? QString() : i18n("The IP-address is not valid.");
    }
    return hostNamePattern().match(address).hasMatch() ? QString() : i18n("The host name is not valid.");
}

AddDestinationDialog::AddDestinationDialog(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::AddDestinationDialog>())
{
    qRegisterMetaType<QVector<QVariant>>("QVector<QVariant>");
    ui->setupUi(this);
    ui->chooseFileButton->setIcon(QIcon::fromTheme(QStringLiteral("document-folder"), QIcon::fromTheme(QStringLiteral("document-open-folder"))));

    const QMap<QString, QString> &kinds = DestinationsModel::kinds();
    for (auto it = kinds.begin(); it != kinds.end(); ++it) {
        ui->typeEdit->addItem(it.key(), it.value());
    }

    connect(ui->typeEdit, &QComboBox::currentTextChanged, this, &AddDestinationDialog::updateControls);
    connect(ui->nameEdit, &QLineEdit::textChanged, this, &AddDestinationDialog::validateInput);
    connect(ui->addressEdit, &QLineEdit::textChanged, this, &AddDestinationDialog::validateInput);
    connect(ui->chooseFileButton, &QToolButton::clicked, this, &AddDestinationDialog::chooseFile);
    updateControls();
}

AddDestinationDialog::~AddDestinationDialog() = default;

void AddDestinationDialog::setExistingNames(const QStringList &destinations, const QStringList &otherStatements)
{
    m_existingNames = destinations;
    m_otherStatementNames = otherStatements;
    validateInput();
}

QString AddDestinationDialog::currentKind() const
{
    return ui->typeEdit->currentData().toString();
}

void AddDestinationDialog::chooseFile()
{
    // A cancelled chooser keeps what was typed.
    const QString path = PathChooser::choose(this, PathChooser::Kind::ExistingFile);
    if (!path.isEmpty()) {
        ui->addressEdit->setText(path);
    }
}

void AddDestinationDialog::updateControls()
{
    ui->nameEdit->clear();
    ui->addressEdit->clear();
    const bool network = currentKind() == QLatin1String("network");
    ui->addressLabel->setText(network ? i18n("Host or IP address") : i18n("Address"));
    ui->addressEdit->setPlaceholderText(network ? i18n("192.0.2.10, 2001:db8::10 or logs.example.org") : QString());
    ui->portLabel->setVisible(network);
    ui->portEdit->setVisible(network);
    ui->protocolLabel->setVisible(network);
    ui->protocolEdit->setVisible(network);
    ui->chooseFileButton->setVisible(!network);
    validateInput();
}

void AddDestinationDialog::validateInput()
{
    struct Verdict {
        bool valid = false;
        QString message;
    };
    const QString name = ui->nameEdit->text();
    const QString address = ui->addressEdit->text();
    const Verdict verdict = [&]() -> Verdict {
        if (name.isEmpty()) {
            return {};
        }
        if (!namePattern().match(name).hasMatch()) {
            return {false, i18n("The destination name is not valid.")};
        }
        if (m_existingNames.contains(name)) {
            return {false, i18n("Destination with this name already exists.")};
        }
        if (m_otherStatementNames.contains(name)) {
            return {false, i18n("Another statement of the file already has this name.")};
        }
        if (address.isEmpty()) {
            return {};
        }
        if (currentKind() == QLatin1String("network")) {
            const QString refusal = addressRefusal(address);
            return {refusal.isEmpty(), refusal};
        }
        const FileDestination::Check file = FileDestination::check(address);
        if (!file.error.isEmpty()) {
            return {false, file.error};
        }
        return {true, file.folderMissing ? i18n("The folder of the file does not exist; syslog-ng will create it.") : QString()};
    }();
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(verdict.valid);
    ui->warningLabel->setText(verdict.message);
}

void AddDestinationDialog::accept()
{
    if (!ui->buttonBox->button(QDialogButtonBox::Ok)->isEnabled()) {
        return;
    }
    const QString kind = currentKind();
    QVector<QVariant> destination{kind, ui->nameEdit->text(), ui->addressEdit->text()};
    if (kind == QLatin1String("network")) {
        destination << ui->portEdit->value() << ui->protocolEdit->currentText();
    }
    Q_EMIT newDestCreated(destination);
    QDialog::accept();
}
