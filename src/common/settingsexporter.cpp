#include "settingsexporter.h"

#include "ui_settingsexporter.h"

#include "configmanager.h"
#include "editors/messagebox.h"
#include "platform/paths.h"

#include <KLocalizedString>

#include <QDir>
#include <QFileInfo>

namespace
{
// The archive's name in the example the empty field shows.
const QLatin1String ExampleName("events.tar.gz");

// True when path lies inside dir; both are clean absolute paths, dir empty when unknown.
bool isInside(const QString &path, const QString &dir)
{
    return !dir.isEmpty() && path.startsWith(dir + QLatin1Char('/'));
}

// The folders (system paths) an archive may go into: the home of the user
// behind sudo (the folder of all homes when unknown), then our own home.
// "/" as a home would allow everything: it is no home.
QStringList homes()
{
    const QString sudoUser = qEnvironmentVariable("SUDO_USER");
    QStringList homes{sudoUser.isEmpty() ? QString(Paths::HomeDir) : QString(Paths::HomeDir) + QLatin1Char('/') + sudoUser};
    const QString own = QDir::cleanPath(QDir::homePath());
    if (own != QLatin1String("/")) {
        homes << own;
    }
    return homes;
}
} // namespace

SettingsExporter::SettingsExporter(QWidget *parent)
    : TransferTab(parent)
    , ui(std::make_unique<Ui::SettingsExporter>())
{
    ui->setupUi(this);
    clear();
}

SettingsExporter::~SettingsExporter() = default;

void SettingsExporter::clear()
{
    ui->fileWidget->clear();
    // Said before anything is typed, so that no path is refused by surprise.
    const QString example = homes().constLast() + QLatin1Char('/') + ExampleName;
    ui->fileWidget->setHint(i18nc("where an archive may go, then an example", "%1, e.g. %2", where(), example));
}

QString SettingsExporter::where()
{
    const QStringList allowed = homes();
    const QString userHomes = qEnvironmentVariable("SUDO_USER").isEmpty() ? i18n("a home folder in %1", allowed.first()) : allowed.first();
    return allowed.size() > 1 ? i18n("An archive in %1 or in %2", userHomes, allowed.last()) : i18n("An archive in %1", userHomes);
}

QString SettingsExporter::allowedTarget(const QString &path)
{
    // The folder is judged as it really is: "/home/alice/../../etc" or a link
    // that the user put into the home are judged by where they lead.
    const QFileInfo typed(Paths::placedTyped(path));
    const QString folder = QFileInfo(typed.path()).canonicalFilePath();
    if (folder.isEmpty() || typed.fileName().isEmpty()) {
        return QString();
    }
    const QString target = folder + QLatin1Char('/') + typed.fileName();
    const QStringList allowed = homes();
    for (const QString &home : allowed) {
        if (isInside(target, QFileInfo(Paths::placed(home)).canonicalFilePath())) {
            return target;
        }
    }
    return QString();
}

void SettingsExporter::exportConfig(const std::function<void(bool done)> &done)
{
    if (!ui->fileWidget->checkSelected()) {
        return done(false);
    }
    // The tool gets the resolved path: a link the user puts in afterwards is
    // refused there instead of followed.
    const QString target = allowedTarget(ui->fileWidget->text());
    if (target.isEmpty()) {
        // The rule in the words of the empty field.
        MessageBox::show(this,
                         MessageBox::Kind::Error,
                         i18n("Error"),
                         i18n("The output file cannot be saved outside the root's home directory!") + QLatin1String("\n\n") + where() + QLatin1Char('.'));
        return done(false);
    }
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
        if (!MessageBox::confirm(this,
                                 i18n("Export configuration"),
                                 i18n("%1 exists already. Replace it with the configuration as it is now?", Paths::unplaced(target)))) {
            return done(false);
        }
    }
    ConfigManager::exportArchive(target, runner(), [this, target, done](const ConfigManager::Outcome &exported) {
        if (!exported.ok) {
            FileWidget::showFailure(this, i18n("Can not export configuration!"), exported.message);
            return done(false);
        }
        MessageBox::show(this,
                         MessageBox::Kind::Information,
                         i18n("Information"),
                         i18n("Configuration exported successfully") + QLatin1String("\n\n") + i18n("Saved as %1.", Paths::unplaced(target)));
        done(true);
    });
}
