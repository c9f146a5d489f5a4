#include "filewidget.h"

#include "ui_filewidget.h"

#include <KLocalizedString>

#include <QFileDialog>
#include <QMessageBox>

FileWidget::FileWidget(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::FileWidget>())
{
    ui->setupUi(this);
    ui->fileLabel->setText(i18n("File:"));
    ui->fileToolButton->setIcon(QIcon::fromTheme(QStringLiteral("document-folder"), QIcon::fromTheme(QStringLiteral("document-open-folder"))));
    connect(ui->fileLineEdit, &QLineEdit::textChanged, this, &FileWidget::textChanged);
}

FileWidget::~FileWidget() = default;

void FileWidget::setup(bool saveMode)
{
    connect(ui->fileToolButton, &QToolButton::clicked, this, [this, saveMode] {
        browse(saveMode);
    });
}

QString FileWidget::text() const
{
    return ui->fileLineEdit->text();
}

void FileWidget::clear()
{
    ui->fileLineEdit->clear();
}

bool FileWidget::checkSelected() const
{
    if (!text().isEmpty()) {
        return true;
    }
    QMessageBox::critical(nullptr, i18n("Error"), i18n("No file selected"));
    return false;
}

void FileWidget::browse(bool saveMode)
{
    // A cancelled dialog gives an empty path, which replaces the old one on purpose.
    const QString path = saveMode ? QFileDialog::getSaveFileName(this, i18n("Choose file"), QString(), QStringLiteral("*.tar.gz"))
                                  : QFileDialog::getOpenFileName(this, QString(), QString(), QString());
    ui->fileLineEdit->setText(path);
}
