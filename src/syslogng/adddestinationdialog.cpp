#include "adddestinationdialog.h"

#include "ui_adddestinationdialog.h"

#include "destinationsmodel.h"
#include "editors/pathchooser.h"
#include "filedestination.h"

#include <KLocalizedString>

#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>

namespace
{
const QRegularExpression &namePattern()
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("[a-zA-Z][a-zA-Z0-9_]*")));
    return pattern;
}

const QRegularExpression &addressPattern()
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("((25[0-5]|(2[0-4]|1\\d|[1-9]|)\\d)\\.?\\b){4}")));
    return pattern;
}
}

AddDestinationDialog::AddDestinationDialog(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::AddDestinationDialog>())
{
    qRegisterMetaType<QVector<QVariant>>("QVector<QVariant>");
    ui->setupUi(this);
    ui->chooseFileButton->setIcon(QIcon::fromTheme(QStringLiteral("document-folder"), QIcon::fromTheme(QStringLiteral("document-open-folder"))));
    m_addressValidator = new QRegularExpressionValidator(addressPattern(), this);

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
    ui->addressLabel->setText(network ? i18n("IP-address") : i18n("Address"));
    ui->addressEdit->setValidator(network ? m_addressValidator : nullptr);
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
            if (!addressPattern().match(address).hasMatch()) {
                return {false, i18n("The IP-address is not valid.")};
            }
            return {true, QString()};
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
