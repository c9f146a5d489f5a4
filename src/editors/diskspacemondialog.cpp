#include "diskspacemondialog.h"

#include "quoradmineventslog.h"

#include "ui_diskspacemondialog.h"

#include "model/parametervalue.h"
#include "pathchooser.h"

#include <KLocalizedString>

#include <algorithm>
#include <iterator>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>

namespace
{
const QString keys[] = {QStringLiteral("path"), QStringLiteral("limit_bytes"), QStringLiteral("limit_percent")};

// The text as the inside of a JSON string, so that quotes and backslashes in a
// path keep the array readable.
QString jsonEscaped(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    // ["..."] -> ...
    return QString::fromUtf8(array.mid(2, array.size() - 4));
}
} // namespace

DiskSpaceMonDialog::DiskSpaceMonDialog(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::DiskSpaceMonDialog>())
{
    ui->setupUi(this);
    connect(ui->addButton, &QToolButton::clicked, this, &DiskSpaceMonDialog::addDirectory);
    connect(ui->removeButton, &QToolButton::clicked, this, &DiskSpaceMonDialog::removeSelected);
    connect(this, &QDialog::accepted, this, &DiskSpaceMonDialog::prepareData);
}

DiskSpaceMonDialog::~DiskSpaceMonDialog() = default;

void DiskSpaceMonDialog::setData(const QString &jsonText)
{
    // Rows of an earlier value must not survive as empty entries.
    ui->directoriesTable->setRowCount(0);
    const QJsonArray array = QJsonDocument::fromJson(jsonText.toUtf8()).array();
    for (const QJsonValue &element : array) {
        if (!element.isObject()) {
            continue;
        }
        const int row = ui->directoriesTable->rowCount();
        ui->directoriesTable->insertRow(row);
        const QJsonObject object = element.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            const int column = int(std::find(std::begin(keys), std::end(keys), it.key()) - std::begin(keys));
            const bool known = column < int(std::size(keys));
            // An unknown key only fills an empty directory cell: it must not hide the path.
            if (known || !ui->directoriesTable->item(row, 0)) {
                ui->directoriesTable->setItem(row, known ? column : 0, new QTableWidgetItem(it.value().toVariant().toString()));
            }
        }
    }
}

void DiskSpaceMonDialog::addDirectory()
{
    const QString directory = PathChooser::choose(this, PathChooser::Kind::ExistingDirectory);
    if (directory.isEmpty()) {
        return;
    }
    const int row = ui->directoriesTable->rowCount();
    ui->directoriesTable->insertRow(row);
    ui->directoriesTable->setItem(row, 0, new QTableWidgetItem(directory));
    ui->directoriesTable->setItem(row, 1, new QTableWidgetItem(QStringLiteral("104857600")));
    ui->directoriesTable->setItem(row, 2, new QTableWidgetItem(QStringLiteral("100.0")));
}

void DiskSpaceMonDialog::removeSelected()
{
    const QModelIndexList rows = ui->directoriesTable->selectionModel()->selectedRows();
    if (!rows.isEmpty()) {
        ui->directoriesTable->removeRow(rows.first().row());
    }
}

void DiskSpaceMonDialog::accept()
{
    for (int row = 0; row < ui->directoriesTable->rowCount(); ++row) {
        for (int column : {1, 2}) {
            const QString text = cellText(row, column);
            // An empty cell leaves the limit unset.
            const QString refusal = text.isEmpty()
                ? QString()
                : ParameterValue::refusal(keys[column], ui->directoriesTable->horizontalHeaderItem(column)->text(), ParameterValue::Kind::Text, text);
            if (!refusal.isEmpty()) {
                qCWarning(QUOR_ADMIN_EVENTS).noquote() << "disk space limit" << keys[column] << text << "refused:" << refusal;
                ui->directoriesTable->setCurrentCell(row, column);
                QMessageBox::warning(this, i18n("Disk space limits"), i18n("Row %1: %2", row + 1, refusal));
                return;
            }
        }
    }
    QDialog::accept();
}

QString DiskSpaceMonDialog::cellText(int row, int column) const
{
    const QTableWidgetItem *item = ui->directoriesTable->item(row, column);
    return item ? item->text() : QString();
}

void DiskSpaceMonDialog::prepareData()
{
    QStringList paths;
    QString rows;
    const int count = ui->directoriesTable->rowCount();
    for (int row = 0; row < count; ++row) {
        paths << cellText(row, 0);
        rows += QStringLiteral("{ \"path\": \"%1\", \"limit_bytes\": \"%2\", \"limit_percent\": \"%3\" }%4")
                    .arg(jsonEscaped(cellText(row, 0)),
                         jsonEscaped(cellText(row, 1)),
                         jsonEscaped(cellText(row, 2)),
                         row < count - 1 ? QStringLiteral(",") : QString());
    }
    Q_EMIT directoriesEdited({paths.join(QLatin1String(", ")), QString(QLatin1String("[ ") + rows + QLatin1String(" ]"))});
}
