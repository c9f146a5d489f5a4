#include "diskspacemondialog.h"
#include "messagebox.h"

#include "quoradmineventslog.h"

#include "ui_diskspacemondialog.h"

#include "bytesize.h"
#include "model/parametervalue.h"
#include "pathchooser.h"
#include "rowbuttons.h"

#include <KLocalizedString>

#include <algorithm>
#include <iterator>

#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace
{
const QString keys[] = {QStringLiteral("path"), QStringLiteral("limit_bytes"), QStringLiteral("limit_percent")};
constexpr int BytesColumn = 1;
constexpr int PercentColumn = 2;
// The value as read, beside the text a limit cell shows for it.
constexpr int StoredRole = Qt::UserRole;

// A limit as the cell shows it: a size with its unit, a percentage in the
// locale's form; a value that is neither as it stands.
QString shownLimit(int column, const QString &stored)
{
    bool ok = false;
    if (column == BytesColumn) {
        const qlonglong bytes = QLocale::c().toLongLong(stored.trimmed(), &ok);
        return ok && bytes >= 0 ? ByteSize::text(bytes) : stored;
    }
    const double percent = QLocale::c().toDouble(stored.trimmed(), &ok);
    return ok ? QLocale().toString(percent, 'g', QLocale::FloatingPointShortest) : stored;
}

QTableWidgetItem *limitItem(int column, const QString &stored)
{
    auto *item = new QTableWidgetItem(shownLimit(column, stored));
    item->setData(StoredRole, stored);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

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
    RowButtons::attach(ui->addButton, ui->removeButton, ui->directoriesTable, this, &DiskSpaceMonDialog::addDirectory);
    connect(this, &QDialog::accepted, this, &DiskSpaceMonDialog::prepareData);
    // Every header whole in every language; the directory takes the rest.
    QHeaderView *header = ui->directoriesTable->horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(BytesColumn, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(PercentColumn, QHeaderView::ResizeToContents);
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
            const QString value = it.value().toVariant().toString();
            if (known && column != 0) {
                ui->directoriesTable->setItem(row, column, limitItem(column, value));
            } else if (known || !ui->directoriesTable->item(row, 0)) {
                ui->directoriesTable->setItem(row, 0, new QTableWidgetItem(value));
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
    ui->directoriesTable->setItem(row, BytesColumn, limitItem(BytesColumn, QStringLiteral("104857600")));
    ui->directoriesTable->setItem(row, PercentColumn, limitItem(PercentColumn, QStringLiteral("100.0")));
}

void DiskSpaceMonDialog::accept()
{
    for (int row = 0; row < ui->directoriesTable->rowCount(); ++row) {
        for (int column : {BytesColumn, PercentColumn}) {
            QString refusal;
            storedLimit(row, column, &refusal);
            if (!refusal.isEmpty()) {
                const QString text = cellText(row, column);
                qCWarning(QUOR_ADMIN_EVENTS).noquote() << "disk space limit" << keys[column] << text << "refused:" << refusal;
                ui->directoriesTable->setCurrentCell(row, column);
                MessageBox::show(this, MessageBox::Kind::Warning, i18n("Disk space limits"), i18n("Row %1: %2", row + 1, refusal));
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

QString DiskSpaceMonDialog::storedLimit(int row, int column, QString *refusal) const
{
    const QTableWidgetItem *item = ui->directoriesTable->item(row, column);
    const QString text = cellText(row, column);
    // A cell left as shown keeps the value as read, to the byte.
    if (item && item->data(StoredRole).isValid() && text == shownLimit(column, item->data(StoredRole).toString())) {
        return item->data(StoredRole).toString();
    }
    // An empty cell leaves the limit unset.
    if (text.trimmed().isEmpty()) {
        return QString();
    }
    const QString name = ui->directoriesTable->horizontalHeaderItem(column)->text();
    if (column == BytesColumn) {
        const std::optional<qint64> bytes = ByteSize::parse(text);
        if (!bytes) {
            *refusal = i18n("\"%1\" is not a size; %2 takes a whole number of bytes or a number with a unit such as KiB, MiB or GiB.", text, name);
            return QString();
        }
        return QString::number(*bytes);
    }
    QString inC = text.trimmed();
    inC.replace(QLocale().decimalPoint(), QStringLiteral("."));
    QString normalized;
    *refusal = ParameterValue::refusal(keys[column], name, ParameterValue::Kind::Text, inC, &normalized);
    return normalized;
}

void DiskSpaceMonDialog::prepareData()
{
    QStringList paths;
    QString rows;
    // accept() let no refusal through.
    QString unused;
    const int count = ui->directoriesTable->rowCount();
    for (int row = 0; row < count; ++row) {
        paths << cellText(row, 0);
        rows += QStringLiteral("{ \"path\": \"%1\", \"limit_bytes\": \"%2\", \"limit_percent\": \"%3\" }%4")
                    .arg(jsonEscaped(cellText(row, 0)),
                         jsonEscaped(storedLimit(row, BytesColumn, &unused)),
                         jsonEscaped(storedLimit(row, PercentColumn, &unused)),
                         row < count - 1 ? QStringLiteral(",") : QString());
    }
    Q_EMIT directoriesEdited({paths.join(QLatin1String(", ")), QString(QLatin1String("[ ") + rows + QLatin1String(" ]"))});
}
