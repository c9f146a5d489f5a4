#include "servicecommand.h"

namespace ServiceCommand
{
QStringList arguments(const QString &verb, const QString &unit)
{
    return {QStringLiteral("systemctl"), verb, unit};
}

QString text(const QString &verb, const QString &unit)
{
    return QString::fromLatin1(Program) + QLatin1Char(' ') + arguments(verb, unit).join(QLatin1Char(' '));
}

QStringList reloadArguments()
{
    return {QStringLiteral("syslog-ng-ctl"), QStringLiteral("reload")};
}

QString reloadText()
{
    return QString::fromLatin1(Program) + QLatin1Char(' ') + reloadArguments().join(QLatin1Char(' '));
}

QStringList runningConfigurationArguments()
{
    return {QStringLiteral("syslog-ng-ctl"), QStringLiteral("config"), QStringLiteral("--preprocessed")};
}

QStringList diskConfigurationArguments()
{
    return {QStringLiteral("syslog-ng"), QStringLiteral("--syntax-only"), QStringLiteral("--preprocess-into=/dev/stdout")};
}
}
