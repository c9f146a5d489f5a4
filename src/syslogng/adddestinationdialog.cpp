#include "adddestinationdialog.h"

#include "ui_adddestinationdialog.h"

#include "destinationkind.h"
#include "destinationsmodel.h"
#include "editors/boundedspinbox.h"
#include "editors/pathchooser.h"

#include <KLocalizedString>

#include <QPushButton>
#include <QRegularExpression>

namespace
{
const QRegularExpression &namePattern()
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("[a-zA-Z][a-zA-Z0-9_]*")));
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

    const QMap<QString, QString> &kinds = DestinationsModel::kinds();
    for (auto it = kinds.begin(); it != kinds.end(); ++it) {
        ui->typeEdit->addItem(it.key(), it.value());
    }

    connect(ui->typeEdit, &QComboBox::currentTextChanged, this, &AddDestinationDialog::updateControls);
    connect(ui->nameEdit, &QLineEdit::textChanged, this, &AddDestinationDialog::validateInput);
    connect(ui->addressEdit, &QLineEdit::textChanged, this, &AddDestinationDialog::validateInput);
    connect(ui->portEdit, &BoundedSpinBox::typed, this, &AddDestinationDialog::validateInput);
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

const DestinationKind *AddDestinationDialog::currentKind() const
{
    return DestinationKind::byDriver(ui->typeEdit->currentData().toString());
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
    // The combo box is filled from the kinds; while it is empty nothing changes.
    if (const DestinationKind *kind = currentKind()) {
        ui->addressLabel->setText(kind->addressLabel.toString());
        ui->addressEdit->setPlaceholderText(kind->addressExample.isEmpty() ? QString() : kind->addressExample.toString());
        ui->portLabel->setVisible(kind->takesTransport);
        ui->portEdit->setVisible(kind->takesTransport);
        ui->protocolLabel->setVisible(kind->takesTransport);
        ui->protocolEdit->setVisible(kind->takesTransport);
        ui->chooseFileButton->setVisible(kind->choosesFile);
    }
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
    const DestinationKind *kind = currentKind();
    const Verdict verdict = [&]() -> Verdict {
        // Said at once: the port is typed after the name and the address.
        if (kind && kind->takesTransport) {
            if (const QString port = ui->portEdit->refusal(QString(ui->portLabel->text()).remove(QLatin1Char('&'))); !port.isEmpty()) {
                return {false, port};
            }
        }
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
        if (address.isEmpty() || !kind) {
            return {};
        }
        const DestinationKind::AddressCheck check = kind->checkAddress(address);
        return {check.valid, check.message};
    }();
    ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(verdict.valid);
    ui->warningLabel->setTextFormat(Qt::PlainText);
    ui->warningLabel->setText(verdict.message);
}

void AddDestinationDialog::accept()
{
    if (!ui->buttonBox->button(QDialogButtonBox::Ok)->isEnabled()) {
        return;
    }
    NewDestination destination{currentKind(), ui->nameEdit->text(), ui->addressEdit->text(), std::nullopt};
    if (destination.kind && destination.kind->takesTransport) {
        destination.transport = NewDestination::Transport{ui->portEdit->value(), ui->protocolEdit->currentText()};
    }
    Q_EMIT newDestCreated(destination.toVariants());
    QDialog::accept();
}
