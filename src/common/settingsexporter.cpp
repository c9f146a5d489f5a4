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
// True when path lies inside dir; both are clean absolute paths, dir empty when unknown.
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

QString SettingsExporter::allowedTarget(const QString &path)
{
    // The folder is judged as it really is: "/home/alice/../../etc" or a link
    // that the user put into the home are judged by where they lead.
    const QFileInfo typed(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    const QString folder = QFileInfo(typed.path()).canonicalFilePath();
    if (folder.isEmpty() || typed.fileName().isEmpty()) {
        return QString();
    }
    const QString sudoUser = qEnvironmentVariable("SUDO_USER");
    const QString userHome = sudoUser.isEmpty() ? QString(Paths::HomeDir) : QString(Paths::HomeDir) + QLatin1Char('/') + sudoUser;
    const QString target = folder + QLatin1Char('/') + typed.fileName();
    for (const QString &home : {userHome, QDir::homePath()}) {
        if (isInside(target, QFileInfo(home).canonicalFilePath())) {
            return target;
        }
    }
    return QString();
}

bool SettingsExporter::exportConfig()
{
    if (!ui->fileWidget->checkSelected()) {
        return false;
    }
    // The tool gets the resolved path: a link the user puts in afterwards is
    // refused there instead of followed.
    const QString target = allowedTarget(ui->fileWidget->text());
    if (target.isEmpty()) {
        QMessageBox::critical(nullptr, i18n("Error"), i18n("The output file cannot be saved outside the root's home directory!"));
        return false;
    }
    if (!ConfigManager::run(QStringLiteral("-o"), target)) {
        QMessageBox::critical(nullptr, i18n("Error"), i18n("Can not export configuration!"));
        return false;
    }
    QMessageBox::information(nullptr, i18n("Information"), i18n("Configuration exported successfully"));
    return true;
}
