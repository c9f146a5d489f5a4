#pragma once

#include <QDialog>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <memory>

struct DestinationKind;

namespace Ui
{
class AddDestinationDialog;
}

// Asks for a new file or network destination and refuses names and addresses
// that syslog-ng would not take.
class AddDestinationDialog : public QDialog
{
    Q_OBJECT
public:
    explicit AddDestinationDialog(QWidget *parent = nullptr);
    ~AddDestinationDialog() override;

    // The names of the current destinations and of the file's other statements;
    // a new destination must differ from all: removing it goes by its name.
    void setExistingNames(const QStringList &destinations, const QStringList &otherStatements);

public Q_SLOTS:
    void accept() override;
    void updateControls();
    void validateInput();

Q_SIGNALS:
    // [kind, name, address] for a file, [kind, name, address, port, protocol]
    // for a network; kind is "file" or "network", the port an integer
    // (NewDestination reads it).
    void newDestCreated(const QVector<QVariant> &destination);

private:
    const DestinationKind *currentKind() const;
    void chooseFile();

    std::unique_ptr<Ui::AddDestinationDialog> ui;
    QStringList m_existingNames;
    QStringList m_otherStatementNames;
};
