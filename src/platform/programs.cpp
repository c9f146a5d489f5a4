#include "programs.h"

#include "paths.h"

namespace
{
// A locale's name ("ru_RU.UTF-8", "C.UTF-8", "en_GB:en"), never a path: the C
// library loads a locale named with a slash from that file.
bool isLocaleName(const QString &value)
{
    for (const QChar c : value) {
        const bool allowed = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || QStringLiteral("_.@:-").contains(c);
        if (!allowed) {
            return false;
        }
    }
    return true;
}
}

namespace Programs
{
const QVector<Program> &table()
{
    static const QVector<Program> programs{
        {Paths::latin1("sudo"), Paths::latin1("/usr/bin/sudo")},
        {Paths::latin1("logname"), Paths::latin1("/usr/bin/logname")},
        {Paths::latin1("logrotate"), Paths::latin1("/usr/sbin/logrotate")},
        {Paths::latin1("syslog-ng"), Paths::latin1("/usr/sbin/syslog-ng")},
        {Paths::latin1("python3"), Paths::latin1("/usr/bin/python3")},
        {Paths::latin1("diff"), Paths::latin1("/usr/bin/diff")},
        {Paths::latin1("ssh-keygen"), Paths::latin1("/usr/bin/ssh-keygen")},
        {Paths::latin1("velta-event-config-manager"), Paths::ConfigManagerTool},
        {Paths::latin1("quor-wmfunc"), Paths::WmFuncTool},
    };
    return programs;
}

QString located(const QString &program)
{
    if (program.startsWith(QLatin1Char('/'))) {
        return program;
    }
    for (const Program &known : table()) {
        if (program == known.name) {
            return Paths::placed(known.path);
        }
    }
    return QString();
}

QProcessEnvironment environment(const QProcessEnvironment &additions)
{
    QProcessEnvironment fixed;
    fixed.insert(QStringLiteral("PATH"), QStringLiteral("/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"));
    fixed.insert(QStringLiteral("HOME"), QStringLiteral("/root"));
    fixed.insert(QStringLiteral("PYTHONNOUSERSITE"), QStringLiteral("1"));
    fixed.insert(QStringLiteral("PYTHONDONTWRITEBYTECODE"), QStringLiteral("1"));
    const QProcessEnvironment ours = QProcessEnvironment::systemEnvironment();
    const QStringList names = ours.keys();
    for (const QString &name : names) {
        const bool locale = name == QLatin1String("LANG") || name == QLatin1String("LANGUAGE") || name.startsWith(QLatin1String("LC_"));
        if (locale && isLocaleName(ours.value(name))) {
            fixed.insert(name, ours.value(name));
        }
    }
    // The children work on the same system: the root that was checked at start.
    const QString root = Paths::systemRoot();
    if (!root.isEmpty()) {
        fixed.insert(QStringLiteral("QUOR_ADMIN_EVENTS_ROOT"), root);
    }
    fixed.insert(additions);
    return fixed;
}

QStringList pythonOptions()
{
    return {QStringLiteral("-I"), QStringLiteral("-B")};
}
}
