#pragma once

#include "destinationkind.h"

// The functions of the network kind of destination: another host, in the
// syslog protocol.
namespace NetworkDestination
{
// Why syslog-ng's network() cannot send to address; empty when it can. An
// IPv4 address in dotted form, an IPv6 address or a host name.
QString addressRefusal(const QString &address);

// The address without its quotes, then the port, transport and flags.
QString shownValue(const QString &line);
DestinationKind::AddressCheck checkAddress(const QString &address);
// The quoted address, then the port and the protocol when they are given.
QString optionValue(const NewDestination &destination, const TreeItem *root);
} // namespace NetworkDestination
