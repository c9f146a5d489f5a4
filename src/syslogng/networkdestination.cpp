#include "networkdestination.h"

#include "syslogngstring.h"

#include <KLocalizedString>

#include <QHostAddress>
#include <QRegularExpression>
#include <QStringList>

namespace
{
const QRegularExpression &ipv4Pattern()
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("((25[0-5]|(2[0-4]|1\\d|[1-9]|)\\d)\\.?\\b){4}")));
    return pattern;
}

// Labels of letters, digits and inner hyphens, at most 63 each and 253 in all.
const QRegularExpression &hostNamePattern()
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QStringLiteral("(?=.{1,253}$)([a-zA-Z0-9]([a-zA-Z0-9-]{0,61}[a-zA-Z0-9])?)(\\.[a-zA-Z0-9]([a-zA-Z0-9-]{0,61}[a-zA-Z0-9])?)*\\.?")));
    return pattern;
}
}

namespace NetworkDestination
{
QString addressRefusal(const QString &address)
{
    if (address.contains(QLatin1Char(':'))) {
        // A scope ("%eth0") names an interface of this machine, not of the receiver.
        const QHostAddress parsed(address);
        return parsed.protocol() == QAbstractSocket::IPv6Protocol && parsed.scopeId().isEmpty() ? QString() : i18n("The IPv6 address is not valid.");
    }
    // Digits and dots only: meant as an IPv4 address, whatever the host name rules allow.
    static const QRegularExpression numeric(QRegularExpression::anchoredPattern(QStringLiteral("[0-9.]+")));
    if (numeric.match(address).hasMatch()) {
        return ipv4Pattern().match(address).hasMatch() && !address.endsWith(QLatin1Char('.')) ? QString() : i18n("The IP-address is not valid.");
    }
    return hostNamePattern().match(address).hasMatch() ? QString() : i18n("The host name is not valid.");
}

QString shownValue(const QString &line)
{
    QStringList parts = line.split(QLatin1String("\" "));
    parts.first() = parts.first().simplified().mid(1);
    return parts.join(QLatin1Char(' '));
}

DestinationKind::AddressCheck checkAddress(const QString &address)
{
    const QString refusal = addressRefusal(address);
    return {refusal.isEmpty(), refusal};
}

QString optionValue(const NewDestination &destination, const TreeItem *)
{
    QString value = QLatin1Char('"') + SyslogNgString::escaped(destination.address) + QLatin1Char('"');
    if (destination.transport) {
        value += QStringLiteral(" port(%1) transport(%2) flags(syslog-protocol)").arg(destination.transport->port).arg(destination.transport->protocol);
    }
    // syslog-ng resolves every address as IPv4 unless told otherwise, and an
    // IPv6 one then never connects.
    if (destination.address.contains(QLatin1Char(':'))) {
        value += QStringLiteral(" ip-protocol(6)");
    }
    return value;
}
} // namespace NetworkDestination
