#include "auditdatabase.h"

#include "platformlog.h"

#include "checkedwrite.h"
#include "paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace AuditDatabase
{
namespace
{
// The enabled names in the store; false when it exists but cannot be read.
bool readStore(QStringList *names)
{
    QFile file(Paths::placed(Paths::AuditTypeStore));
    if (!file.exists()) {
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(QUOR_PLATFORM).nospace().noquote() << file.fileName() << ": " << file.errorString();
        return false;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString name = line.trimmed();
        if (!name.isEmpty() && !names->contains(name)) {
            names->append(name);
        }
    }
    return true;
}

bool setOn(const QString &name, bool on)
{
    QStringList names;
    if (!typeNames().contains(name)) {
        qCWarning(QUOR_PLATFORM).noquote() << "no audit event type" << name;
        return false;
    }
    if (!readStore(&names)) {
        return false;
    }
    names.removeAll(name);
    if (on) {
        names.append(name);
    }
    const QString path = Paths::placed(Paths::AuditTypeStore);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QByteArray data;
    for (const QString &enabled : qAsConst(names)) {
        data += enabled.toUtf8();
        data += '\n';
    }
    return CheckedWrite::replaceFile(path, data);
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

bool isOn(const QString &name, bool *ok)
{
    QStringList names;
    const bool known = typeNames().contains(name) && readStore(&names);
    if (ok) {
        *ok = known;
    }
    return known && names.contains(name);
}

bool switchOn(const QString &name)
{
    return setOn(name, true);
}

bool switchOff(const QString &name)
{
    return setOn(name, false);
}
} // namespace AuditDatabase
