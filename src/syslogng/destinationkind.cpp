#include "destinationkind.h"

#include "filedestination.h"
#include "networkdestination.h"

const QVector<DestinationKind> &DestinationKind::all()
{
    // One row a kind: driver, type name, address label and example, whether it
    // takes a port and a protocol, whether it chooses a file, its functions.
    // clang-format off
    static const QVector<DestinationKind> kinds{
        {QLatin1String("file"), kli18n("File"), kli18n("Address"), {}, false, true,
         FileDestination::shownValue, FileDestination::checkAddress, FileDestination::optionValue},
        {QLatin1String("network"), kli18n("Network"), kli18n("Host or IP address"), kli18n("192.0.2.10, 2001:db8::10 or logs.example.org"), true, false,
         NetworkDestination::shownValue, NetworkDestination::checkAddress, NetworkDestination::optionValue},
    };
    // clang-format on
    return kinds;
}

const DestinationKind *DestinationKind::byDriver(const QString &driver)
{
    for (const DestinationKind &kind : all()) {
        if (kind.driver == driver) {
            return &kind;
        }
    }
    return nullptr;
}

std::optional<NewDestination> NewDestination::fromVariants(const QVector<QVariant> &values)
{
    if (values.size() < 3 || values.size() > 5) {
        return std::nullopt;
    }
    NewDestination destination;
    destination.kind = DestinationKind::byDriver(values.at(0).toString());
    if (!destination.kind) {
        return std::nullopt;
    }
    destination.name = values.at(1).toString();
    destination.address = values.at(2).toString();
    if (values.size() == 5) {
        destination.transport = Transport{values.at(3).toInt(), values.at(4).toString()};
    }
    return destination;
}

QVector<QVariant> NewDestination::toVariants() const
{
    QVector<QVariant> values{kind ? QString(kind->driver) : QString(), name, address};
    if (transport) {
        values << transport->port << transport->protocol;
    }
    return values;
}
