#include "archivesignature.h"

#include "platform/fileread.h"
#include "platform/privatefolder.h"
#include "platform/process.h"

#include <KLocalizedString>

#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace ArchiveSignature
{
namespace
{
constexpr auto SshKeygen = "/usr/bin/ssh-keygen";
constexpr int SshKeygenTimeoutMs = 30000;
constexpr int TarEndSize = 1024;
const QByteArray SignatureBegin = QByteArrayLiteral("-----BEGIN SSH SIGNATURE-----\n");
const QByteArray SignatureEnd = QByteArrayLiteral("-----END SSH SIGNATURE-----\n");

QString keyPath()
{
    return Paths::placed(Paths::SigningDir) + QLatin1String("/key");
}

// The closing member's header: deflate, a comment and nothing else, no time,
// made on Unix.
QByteArray closingHeader()
{
    return QByteArray("\x1f\x8b\x08\x10\x00\x00\x00\x00\x00\x03", 10);
}

// The closing member's data and trailer: the tar's end as one stored deflate
// block, its CRC-32 and its size.
QByteArray closingTail()
{
    QByteArray tail("\x01\x00\x04\xff\xfb", 5);
    tail += QByteArray(TarEndSize, '\0');
    tail += QByteArray("\x2e\xaf\xb5\xef\x00\x04\x00\x00", 8);
    return tail;
}

// The signature as ssh-keygen writes it: base64 in lines of 70. It reads
// other spacing too, which would leave bytes of the archive unsigned.
bool isCanonical(const QByteArray &armored)
{
    if (!armored.startsWith(SignatureBegin) || !armored.endsWith(SignatureEnd)) {
        return false;
    }
    const QByteArray encoded = armored.mid(SignatureBegin.size(), armored.size() - SignatureBegin.size() - SignatureEnd.size());
    const QByteArray decoded = QByteArray::fromBase64(encoded.simplified().replace(' ', QByteArray()), QByteArray::AbortOnBase64DecodingErrors);
    QByteArray canonical;
    const QByteArray base64 = decoded.toBase64();
    for (int i = 0; i < base64.size(); i += 70) {
        canonical += base64.mid(i, 70) + '\n';
    }
    return !decoded.isEmpty() && canonical == encoded;
}

QByteArray closingMember(const QByteArray &armored)
{
    return closingHeader() + armored + '\0' + closingTail();
}

// The signed body and the armored signature of an archive; false when it ends
// in no closing member.
bool split(const QByteArray &archive, QByteArray *body, QByteArray *armored)
{
    const int start = archive.lastIndexOf(QByteArray(closingHeader() + SignatureBegin));
    if (start < 0) {
        return false;
    }
    const int armorSize = archive.size() - start - closingHeader().size() - 1 - closingTail().size();
    *armored = archive.mid(start + closingHeader().size(), std::max(armorSize, 0));
    if (!isCanonical(*armored) || archive.mid(start) != closingMember(*armored)) {
        return false;
    }
    *body = archive.left(start);
    return true;
}

// Bytes ssh-keygen reads by a name of the descriptor or as its standard
// input: a file in memory, which no one else can reach or swap and which
// leaves nothing behind. Its descriptor is inherited by the child.
class MemoryFile
{
public:
    explicit MemoryFile(const QByteArray &data)
        : m_fd(::memfd_create("quor-admin-events", 0))
    {
        const bool written = m_fd >= 0 && ::write(m_fd, data.constData(), size_t(data.size())) == data.size() && ::lseek(m_fd, 0, SEEK_SET) == 0;
        if (!written) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
        }
    }
    ~MemoryFile()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    MemoryFile(const MemoryFile &) = delete;
    MemoryFile &operator=(const MemoryFile &) = delete;

    bool isValid() const
    {
        return m_error.isEmpty();
    }
    QString error() const
    {
        return m_error;
    }
    // The descriptor, read from the start by the next child.
    int rewound() const
    {
        ::lseek(m_fd, 0, SEEK_SET);
        return m_fd;
    }
    QString path() const
    {
        return QStringLiteral("/dev/fd/%1").arg(m_fd);
    }

private:
    int m_fd = -1;
    QString m_error;
};

Process::Result sshKeygen(const QStringList &arguments, int inputFd = -1)
{
    return Process::run(QStringLiteral("ssh-keygen"), arguments, SshKeygenTimeoutMs, Process::Channels::Separate, QProcessEnvironment(), inputFd);
}

// Why a run of ssh-keygen failed, for the administrator; empty when it did not.
QString failure(const QStringList &arguments, const Process::Result &result)
{
    const QString command = QString::fromLatin1(SshKeygen) + QLatin1Char(' ') + arguments.first();
    if (!result.started) {
        return i18n("%1 could not be started", command);
    }
    if (!result.finished) {
        return i18n("%1: no answer within %2 s", command, SshKeygenTimeoutMs / 1000);
    }
    if (result.exitCode != 0) {
        const QString said = QString::fromLocal8Bit(result.errorOutput + result.output).trimmed();
        return said.isEmpty() ? i18n("%1: exit status %2", command, result.exitCode) : i18n("%1: %2", command, said);
    }
    return QString();
}

// The machine's key, made once, in root's private folder.
bool ensureKey(QString *errorText)
{
    if (!PrivateFolder::check(Paths::placed(Paths::SigningDir), true, errorText)) {
        return false;
    }
    const bool hasKey = QFileInfo::exists(keyPath());
    if (hasKey && QFileInfo::exists(keyPath() + QLatin1String(".pub"))) {
        return true;
    }
    if (hasKey) {
        *errorText = i18n("%1: the public half of the signing key is missing; remove the key to have a new one made", keyPath());
        return false;
    }
    const QStringList arguments{QStringLiteral("-q"),
                                QStringLiteral("-t"),
                                QStringLiteral("ed25519"),
                                QStringLiteral("-N"),
                                QString(),
                                QStringLiteral("-C"),
                                QStringLiteral("root@") + QSysInfo::machineHostName(),
                                QStringLiteral("-f"),
                                keyPath()};
    *errorText = failure(arguments, sshKeygen(arguments));
    return errorText->isEmpty();
}

// The machine's own public key as a line of an allowed signers list: root
// made it, so what it signed was exported here. Empty before the first export.
QByteArray ownSignerLine()
{
    const FileRead::Result read = FileRead::regular(keyPath() + QLatin1String(".pub"), FileRead::SmallFileLimit);
    const QList<QByteArray> fields = read.data.simplified().split(' ');
    if (!read.ok || fields.size() < 2) {
        return QByteArray();
    }
    static const QRegularExpression principal(QStringLiteral("^[A-Za-z0-9@._-]+$"));
    const QString comment = QString::fromUtf8(fields.value(2));
    const QByteArray name = principal.match(comment).hasMatch() ? comment.toUtf8() : QByteArrayLiteral("this-machine");
    return name + " namespaces=\"" + QByteArray(Namespace.data(), Namespace.size()) + "\" " + fields.at(0) + ' ' + fields.at(1) + '\n';
}

// "ED25519 SHA256:..." from what ssh-keygen says of a good signature.
QString keyOf(const Process::Result &result)
{
    static const QRegularExpression key(QStringLiteral("with (\\S+) key (\\S+)"));
    const QRegularExpressionMatch match = key.match(QString::fromLocal8Bit(result.output + result.errorOutput));
    return match.hasMatch() ? match.captured(1) + QLatin1Char(' ') + match.captured(2) : QString();
}

Verdict verdict(Verdict::Kind kind, const QString &signer, const QString &message)
{
    return Verdict{kind, signer, message};
}
} // namespace

bool sign(const QByteArray &body, QByteArray *archive, QString *errorText)
{
    if (!ensureKey(errorText)) {
        return false;
    }
    const MemoryFile data(body);
    if (!data.isValid()) {
        *errorText = i18n("cannot hold the archive to sign: %1", data.error());
        return false;
    }
    const QStringList arguments{QStringLiteral("-Y"), QStringLiteral("sign"), QStringLiteral("-f"), keyPath(), QStringLiteral("-n"), Namespace};
    const Process::Result result = sshKeygen(arguments, data.rewound());
    *errorText = failure(arguments, result);
    if (!errorText->isEmpty()) {
        return false;
    }
    if (!isCanonical(result.output)) {
        *errorText = i18n("%1 -Y sign gave no signature", QString::fromLatin1(SshKeygen));
        return false;
    }
    *archive = body + closingMember(result.output);
    return true;
}

Verdict verify(const QByteArray &archive, const QString &trustedSigners)
{
    QByteArray body;
    QByteArray armored;
    if (!split(archive, &body, &armored)) {
        return verdict(Verdict::Kind::Unsigned, QString(), i18n("the archive is not signed"));
    }
    const FileRead::Result list = FileRead::regular(trustedSigners, FileRead::SmallFileLimit);
    if (!list.ok && !list.missing) {
        return verdict(Verdict::Kind::Failed, QString(), FileRead::describe(trustedSigners, list));
    }
    QByteArray allowed = list.data;
    if (!allowed.isEmpty() && !allowed.endsWith('\n')) {
        allowed += '\n';
    }
    allowed += ownSignerLine();
    const MemoryFile data(body);
    const MemoryFile signature(armored);
    const MemoryFile signers(allowed);
    for (const MemoryFile *file : {&data, &signature, &signers}) {
        if (!file->isValid()) {
            return verdict(Verdict::Kind::Failed, QString(), i18n("cannot hold the signature to check: %1", file->error()));
        }
    }

    // The signature itself first: only a valid one has a signer to name.
    const QStringList novalidate{QStringLiteral("-Y"),
                                 QStringLiteral("check-novalidate"),
                                 QStringLiteral("-n"),
                                 Namespace,
                                 QStringLiteral("-s"),
                                 signature.path()};
    const Process::Result checked = sshKeygen(novalidate, data.rewound());
    if (!checked.started || !checked.finished) {
        return verdict(Verdict::Kind::Failed, QString(), failure(novalidate, checked));
    }
    if (checked.exitCode != 0) {
        return verdict(Verdict::Kind::Invalid, QString(), i18n("the signature does not match the archive: it was changed after it was signed"));
    }
    const QString key = keyOf(checked);
    const QStringList find{QStringLiteral("-Y"),
                           QStringLiteral("find-principals"),
                           QStringLiteral("-s"),
                           signature.path(),
                           QStringLiteral("-f"),
                           signers.path()};
    const Process::Result found = sshKeygen(find);
    const QString principal = QString::fromUtf8(found.output).section(QLatin1Char('\n'), 0, 0).trimmed();
    if (!found.finished || found.exitCode != 0 || principal.isEmpty()) {
        return verdict(Verdict::Kind::UnknownSigner,
                       key,
                       i18n("the archive is signed by the key %1, which is not in %2", key, Paths::unplaced(trustedSigners)));
    }
    const QStringList check{QStringLiteral("-Y"),
                            QStringLiteral("verify"),
                            QStringLiteral("-f"),
                            signers.path(),
                            QStringLiteral("-I"),
                            principal,
                            QStringLiteral("-n"),
                            Namespace,
                            QStringLiteral("-s"),
                            signature.path()};
    const Process::Result verified = sshKeygen(check, data.rewound());
    const QString signer = i18nc("a signer: its name and key", "%1 (%2)", principal, key);
    if (!verified.started || !verified.finished) {
        return verdict(Verdict::Kind::Failed, signer, failure(check, verified));
    }
    if (verified.exitCode != 0) {
        // A listed key whose entry does not allow archives (namespaces, validity).
        return verdict(Verdict::Kind::UnknownSigner,
                       signer,
                       i18n("the archive is signed by %1, whose entry in the list does not allow it: %2", signer, failure(check, verified)));
    }
    return verdict(Verdict::Kind::Trusted, signer, QString());
}

bool admit(const QByteArray &archive, const Policy &policy, QString *signer, QString *errorText, bool *untrusted)
{
    const Verdict found = verify(archive, policy.trustedSigners);
    *untrusted = false;
    switch (found.kind) {
    case Verdict::Kind::Trusted:
        *signer = found.signer;
        return true;
    case Verdict::Kind::Unsigned:
    case Verdict::Kind::UnknownSigner:
        if (policy.allowUnsigned) {
            *signer = found.kind == Verdict::Kind::Unsigned ? i18n("nobody (unsigned, admitted by --allow-unsigned)")
                                                            : i18n("%1, not trusted (admitted by --allow-unsigned)", found.signer);
            return true;
        }
        *untrusted = true;
        *errorText = i18n("%1; it is imported only with --allow-unsigned", found.message);
        return false;
    case Verdict::Kind::Invalid:
    case Verdict::Kind::Failed:
        break;
    }
    *errorText = found.message;
    return false;
}
} // namespace ArchiveSignature
