#include "filesdialog.h"
#include "messagebox.h"

#include "ui_filesdialog.h"

#include "model/parametervalue.h"
#include "pathchooser.h"
#include "rowbuttons.h"

#include <KLocalizedString>

#include <QRegularExpression>

FilesDialog::FilesDialog(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::FilesDialog>())
{
    ui->setupUi(this);
    RowButtons::attach(ui->addButton, ui->removeButton, ui->filesList, this, &FilesDialog::addPath);
}

FilesDialog::~FilesDialog() = default;

void FilesDialog::setMode(int mode)
{
    m_mode = mode;
}

void FilesDialog::setData(const QVariant &value)
{
    ui->filesList->clear();
    ui->filesList->addItems(ParameterValue::listElements(value.toString()));
}

void FilesDialog::addPath()
{
    const QString path = PathChooser::choose(this, m_mode == 0 ? PathChooser::Kind::ExistingFile : PathChooser::Kind::ExistingDirectory);
    if (path.isEmpty()) {
        return;
    }
    // The audit tools split rule lines at white space and the list itself is
    // comma-separated, so such a path would turn into broken rules.
    static const QRegularExpression unsafe(QStringLiteral("[\\s,]"));
    if (path.contains(unsafe)) {
        MessageBox::show(this,
                         MessageBox::Kind::Error,
                         i18n("Error"),
                         i18n("The path \"%1\" contains a space or a comma. Audit rules cannot watch such a path, so it was not added.", path));
        return;
    }
    ui->filesList->addItem(path);
    ui->filesList->setCurrentRow(ui->filesList->count() - 1);
}

void FilesDialog::on_buttonBox_accepted()
{
    QStringList paths;
    for (int row = 0; row < ui->filesList->count(); ++row) {
        paths << ui->filesList->item(row)->text();
    }
    Q_EMIT fileListEdited(paths.join(QLatin1String(", ")));
}
