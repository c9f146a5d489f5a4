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
}
