#pragma once

#include <KLazyLocalizedString>

#include <QLatin1String>
#include <QString>
#include <QVariant>
#include <QVector>

#include <optional>

struct DestinationKind;
class TreeItem;

// A destination the administrator adds to the common syslog-ng file. The
// dialog's signal carries it as [kind, name, address] for a file and
// [kind, name, address, port, protocol] for a network; fromVariants() and
// toVariants() are the only places that know that order.
struct NewDestination {
    struct Transport {
        int port = 0;
        QString protocol; // "tcp" or "udp"
    };

    const DestinationKind *kind = nullptr; // Not owned: a row of DestinationKind::all().
    QString name;
    QString address;
    std::optional<Transport> transport; // given for a network

    // Nothing for fewer than three or more than five values, or a kind no row names.
    static std::optional<NewDestination> fromVariants(const QVector<QVariant> &values);
    QVector<QVariant> toVariants() const;
};

// What one kind of destination knows: its driver, how the table and the dialog
// show it, which addresses it takes and what it writes. A kind is one row of
// all(); its functions live in a file of its own (filedestination.cpp, ...).
struct DestinationKind {
    struct AddressCheck {
        bool valid = false;
        QString message; // why not, or a warning for a valid address
    };

    // The syslog-ng driver and option name: "file", "network".
    QLatin1String driver;
    // The type name the table and the dialog show.
    KLazyLocalizedString displayName;
    // The dialog's address field: its label and an example (empty: none).
    KLazyLocalizedString addressLabel;
    KLazyLocalizedString addressExample;
    // Whether the dialog asks for a port and a protocol.
    bool takesTransport = false;
    // Whether the dialog offers a file chooser for the address.
    bool choosesFile = false;
    // The table's value cell for the first line of an option's value.
    QString (*shownValue)(const QString &line) = nullptr;
    // Whether an address as typed can be written.
    AddressCheck (*checkAddress)(const QString &address) = nullptr;
    // The option's value (the driver's arguments) for a new destination; root
    // is the tree it joins.
    QString (*optionValue)(const NewDestination &destination, const TreeItem *root) = nullptr;

    // Every kind; the rows live as long as the process.
    static const QVector<DestinationKind> &all();
    // The kind of a driver name; nullptr for a driver no row names.
    static const DestinationKind *byDriver(const QString &driver);
};
