#include "settingsexporter.h"

#include "ui_settingsexporter.h"

#include "configmanager.h"
#include "platform/paths.h"

#include <KLocalizedString>

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

namespace
{
// True when path lies inside dir; both are clean absolute paths.
bool isInside(const QString &path, const QString &dir)
{
    // "/" as a home would allow everything: it is no home.
    if (dir.isEmpty() || dir == QLatin1String("/")) {
        return false;
    }
    return path.startsWith(dir + QLatin1Char('/'));
}
} // namespace

SettingsExporter::SettingsExporter(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::SettingsExporter>())
{
    ui->setupUi(this);
    ui->fileWidget->setup(true);
}

SettingsExporter::~SettingsExporter() = default;

void SettingsExporter::clear()
{
    ui->fileWidget->clear();
}

bool SettingsExporter::isPathAllowed(const QString &path)
{
    // The path is judged cleaned, so "/home/alice/../../etc" is judged as "/etc".
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QString sudoUser = qEnvironmentVariable("SUDO_USER");
    const QString userHome = sudoUser.isEmpty() ? QString(Paths::HomeDir) : QString(Paths::HomeDir) + QLatin1Char('/') + sudoUser;
    return isInside(absolute, userHome) || isInside(absolute, QDir::cleanPath(QDir::homePath()));
}

bool SettingsExporter::exportConfig()
{
    if (!ui->fileWidget->checkSelected()) {
        return false;
    }
    const QString path = ui->fileWidget->text();
    if (!isPathAllowed(path)) {
        QMessageBox::critical(nullptr, i18n("Error"), i18n("The output file cannot be saved outside the root's home directory!"));
        return false;
    }
    if (!ConfigManager::run(QStringLiteral("-o"), path)) {
        QMessageBox::critical(nullptr, i18n("Error"), i18n("Can not export configuration!"));
        return false;
    }
    QMessageBox::information(nullptr, i18n("Information"), i18n("Configuration exported successfully"));
    return true;
}
