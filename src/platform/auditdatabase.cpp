#include "auditdatabase.h"

#include "platformlog.h"

#include "checkedwrite.h"
#include "fileread.h"
#include "paths.h"

#include <KLocalizedString>

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace AuditDatabase
{
namespace
{
// The store is a short list of names; anything larger is no store of ours.
constexpr qint64 StoreLimit = FileRead::SmallFileLimit;

void setError(QString *error, const QString &text)
{
    qCWarning(QUOR_PLATFORM).noquote() << text;
    if (error) {
        *error = text;
    }
}

// The enabled names in the store, each once, in file order; false with the
// path and the reason when it exists but cannot be read whole as text (then
// it must not be written over either).
bool readStore(QStringList *names, QString *error)
{
    const QString path = Paths::placed(Paths::AuditTypeStore);
    const FileRead::Text read = FileRead::text(path, StoreLimit);
    if (read.missing) {
        return true;
    }
    if (!read.ok) {
        setError(error, path + QLatin1String(": ") + read.error);
        return false;
    }
    QSet<QString> seen;
    const QStringList lines = read.text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString name = line.trimmed();
        if (!name.isEmpty() && !seen.contains(name)) {
            seen.insert(name);
            names->append(name);
        }
    }
    return true;
}

bool setOn(const QString &name, bool on, QString *error)
{
    QStringList names;
    if (!typeNames().contains(name)) {
        setError(error, i18n("no audit event type %1", name));
        return false;
    }
    if (!readStore(&names, error)) {
        return false;
    }
    names.removeAll(name);
    if (on) {
        names.append(name);
    }
    const QString path = Paths::placed(Paths::AuditTypeStore);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QByteArray data;
    for (const QString &enabled : std::as_const(names)) {
        data += enabled.toUtf8();
        data += '\n';
    }
    QString reason;
    if (!CheckedWrite::replaceFile(path, data, &reason)) {
        setError(error, path + QLatin1String(": ") + reason);
        return false;
    }
    return true;
}
} // namespace

const QStringList &typeNames()
{
    static const QStringList names{
        QStringLiteral("open"),
        QStringLiteral("create"),
        QStringLiteral("exec"),
        QStringLiteral("delete"),
        QStringLiteral("chmod"),
        QStringLiteral("chown"),
        QStringLiteral("mount"),
        QStringLiteral("module"),
        QStringLiteral("uid"),
        QStringLiteral("gid"),
        QStringLiteral("audit"),
        QStringLiteral("acl"),
        QStringLiteral("mac"),
        QStringLiteral("cap"),
        QStringLiteral("chroot"),
        QStringLiteral("rename"),
        QStringLiteral("net"),
    };
    return names;
}

bool isOn(const QString &name, bool *ok, QString *error)
{
    QStringList names;
    const bool known = typeNames().contains(name) && readStore(&names, error);
    if (ok) {
        *ok = known;
    }
    return known && names.contains(name);
}

bool switchOn(const QString &name, QString *error)
{
    return setOn(name, true, error);
}

bool switchOff(const QString &name, QString *error)
{
    return setOn(name, false, error);
}
} // namespace AuditDatabase
