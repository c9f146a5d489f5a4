#include "configsnapshot.h"

#include "platformlog.h"

#include "asyncprocess.h"
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
// A held snapshot waits for the check beside it, then is kept.
constexpr int HeldTimeoutMs = 2 * SnapshotTimeoutMs;
const QStringList HeldArguments{QStringLiteral("--snapshot"), QStringLiteral("--hold")};
const QString NameFormat = QStringLiteral("yyyyMMdd-HHmmss-zzz");
const QString Suffix = QStringLiteral(".tar.gz");

QString folder()
{
    return Paths::placed(Paths::SnapshotDir);
}

// What the configuration manager run with arguments did.
Taken taken(const QString &tool, const QStringList &arguments, const Process::Result &result)
{
    if (result.finished && result.exitCode == 0) {
        return {true, QString(), QString::fromUtf8(result.output).trimmed()};
    }
    const QString reason = !result.started ? i18n("could not be started")
        : !result.finished                 ? i18n("no answer within the time limit")
                                           : QString::fromLocal8Bit(result.errorOutput).trimmed();
    const QString text = QStringLiteral("%1 %2: %3").arg(tool, arguments.join(QLatin1Char(' ')), reason);
    if (result.finished) { // the rest the runner has logged
        qCWarning(QUOR_PLATFORM).noquote() << text;
    }
    return {false, text, QString()};
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

void take(const Process::Runner &run, const Done &done)
{
    const QString tool = Paths::placed(Paths::ConfigManagerTool);
    const QStringList arguments{QStringLiteral("--snapshot")};
    run(tool, arguments, SnapshotTimeoutMs, Process::Channels::Separate, [tool, arguments, done](const Process::Result &result) {
        done(taken(tool, arguments, result));
    });
}

Held::Held()
    : m_process(std::make_unique<AsyncProcess>())
    , m_tool(Paths::placed(Paths::ConfigManagerTool))
{
    QObject::connect(m_process.get(), &AsyncProcess::finished, m_process.get(), [this](const Process::Result &result) {
        if (m_done) {
            return std::exchange(m_done, nullptr)(outcome(result));
        }
        m_ended = result;
    });
    // The check it waits beside has a time limit of its own.
    m_process->start(m_tool, HeldArguments, HeldTimeoutMs, Process::Channels::Separate, QProcessEnvironment(), Process::Input::Ours);
}

Held::~Held() = default; // the tool, told nothing, is stopped and keeps nothing

void Held::keep(const Done &done)
{
    m_told = !m_ended && m_process->tell(QByteArrayLiteral("keep\n"));
    if (m_ended) {
        return done(outcome(*m_ended));
    }
    m_done = done;
}

Taken Held::outcome(const Process::Result &result) const
{
    const Taken outcome = taken(m_tool, HeldArguments, result);
    if (outcome.ok && !m_told) { // it kept nothing
        return {false, i18n("%1 %2: ended before it was told to keep the snapshot", m_tool, HeldArguments.join(QLatin1Char(' '))), QString()};
    }
    return outcome;
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
