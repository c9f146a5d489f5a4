#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

class TestRoot;

// Another machine whose exports a test's system trusts: a system root of its
// own inside the test root's /test, where the configuration manager exports
// signed with that machine's key, as a reference machine of a fleet does.
class ReferenceMachine
{
public:
    explicit ReferenceMachine(const TestRoot &host, const QString &name = QStringLiteral("reference"));

    // The system path of the machine's root inside the host's.
    QString root() const
    {
        return m_root;
    }
    // Exports exactly these files (system path -> content) into the archive
    // at the host's system path archive, signed; false when the export failed.
    bool exportFiles(const QMap<QString, QByteArray> &files, const QString &archive) const;
    // The machine's public key ("ssh-ed25519 AAAA... comment"), made at its first export.
    QByteArray publicKey() const;
    // Its key in the host's list of trusted signers, after the ones there.
    void trust() const;

private:
    const TestRoot &m_host;
    QString m_root;
};
