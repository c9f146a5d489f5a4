#include "configsnapshot.h"

#include "platformlog.h"

#include "folderentries.h"
#include "paths.h"
#include "privatefolder.h"
#include "process.h"

#include <KLocalizedString>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimeZone>

namespace ConfigSnapshot
{
namespace
{
constexpr int SnapshotTimeoutMs = 60000;
const QString NameFormat = QStringLiteral("yyyyMMdd-HHmmss-zzz");
const QString Suffix = QStringLiteral(".tar.gz");

QString folder()
{
    return Paths::placed(Paths::SnapshotDir);
}

bool isSnapshotName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{8}-[0-9]{6}-[0-9]{3}\\.tar\\.gz$"));
    return pattern.match(name).hasMatch();
}
}

bool take(QString *errorText, QString *name)
{
    const Taken taken = Process::waitFor<Taken>([](const Process::Runner &run, const auto &done) {
        take(run, done);
    });
    if (errorText) {
        *errorText = taken.error;
    }
    if (name) {
        *name = taken.name;
    }
    return taken.ok;
}

void take(const Process::Runner &run, const std::function<void(const Taken &)> &done)
{
    const QString tool = Paths::placed(Paths::ConfigManagerTool);
    run(tool, {QStringLiteral("--snapshot")}, SnapshotTimeoutMs, Process::Channels::Separate, [tool, done](const Process::Result &result) {
        if (result.finished && result.exitCode == 0) {
            return done({true, QString(), QString::fromUtf8(result.output).trimmed()});
        }
        const QString reason = !result.started ? i18n("could not be started")
            : !result.finished                 ? i18n("no answer within the time limit")
                                               : QString::fromLocal8Bit(result.errorOutput).trimmed();
        const QString text = QStringLiteral("%1 --snapshot: %2").arg(tool, reason);
        if (result.finished) { // the rest the runner has logged
            qCWarning(QUOR_PLATFORM).noquote() << text;
        }
        done({false, text, QString()});
    });
}

QString newest()
{
    const QStringList all = names();
    return all.isEmpty() ? QString() : all.constLast();
}

QStringList names()
{
    // A folder in its place that is not root's own is not read from.
    QString ignored; // logged
    if (!QFileInfo::exists(folder()) || !PrivateFolder::check(folder(), false, &ignored)) {
        return {};
    }
    QStringList all = FolderEntries::names(folder(), {QLatin1Char('*') + Suffix}, QDir::Files);
    all.erase(std::remove_if(all.begin(),
                             all.end(),
                             [](const QString &name) {
                                 return !isSnapshotName(name);
                             }),
              all.end());
    return all;
}

QString nameAt(const QDateTime &when)
{
    return when.toUTC().toString(NameFormat) + Suffix;
}

QDateTime takenAt(const QString &name)
{
    QDateTime when = QDateTime::fromString(name.left(NameFormat.size()), NameFormat);
    when.setTimeZone(QTimeZone::utc());
    return when;
}

QString path(const QString &name)
{
    return isSnapshotName(name) ? folder() + QLatin1Char('/') + name : QString();
}
}
