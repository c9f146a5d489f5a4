#include "settingsimporter.h"

#include "ui_settingsimporter.h"

#include "configmanager.h"

#include <KLocalizedString>

#include <QMessageBox>

SettingsImporter::SettingsImporter(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::SettingsImporter>())
{
    ui->setupUi(this);
    ui->fileWidget->setup(false);
}

SettingsImporter::~SettingsImporter() = default;

void SettingsImporter::clear()
{
    ui->fileWidget->clear();
}

bool SettingsImporter::importConfig()
{
    if (!ui->fileWidget->checkSelected()) {
        return false;
    }
    // The tool checks the archive itself before it changes anything.
    if (!ConfigManager::run(QStringLiteral("-i"), ui->fileWidget->text())) {
        QMessageBox::critical(nullptr, i18n("Error"), i18n("Can not import configuration!"));
        return false;
    }
    return true;
}
