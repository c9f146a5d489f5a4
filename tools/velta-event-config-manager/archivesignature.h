#pragma once

#include "platform/paths.h"

#include <QByteArray>
#include <QString>

// Signatures of exported archives, made with the machine's own key and checked
// against the administrator's list of trusted signers, both by ssh-keygen.
//
// The signature travels inside the archive: the tar entries fill a first gzip
// member without the archive's end, and a second member closes it, its header
// comment the signature over every byte of the first and its data the two
// empty blocks that end a tar. gzip, tar and every reader of gzip files read
// the two as one archive; a byte changed anywhere fails the signature or the
// closing member, whose every byte follows from the signature.
namespace ArchiveSignature
{
// What ssh-keygen signs and checks with: a signature for another purpose
// made with the same key is not one of an archive.
inline constexpr QLatin1String Namespace = Paths::latin1("quor-admin-events-archive");

// body followed by the closing member with the signature of body; the
// machine's key is made at the first signing.
bool sign(const QByteArray &body, QByteArray *archive, QString *errorText);

struct Verdict {
    enum class Kind {
        Trusted, // by a key of the list or the machine's own
        Unsigned,
        UnknownSigner, // a valid signature by a key not on the list
        Invalid, // a signature that does not match the archive
        Failed, // the check itself could not be made
    };
    Kind kind = Kind::Failed;
    QString signer; // principal and key fingerprint; the fingerprint alone for an unknown signer
    QString message; // why it is not trusted
};

// The verdict on an archive file's bytes, against the list at
// trustedSigners (placed, allowed_signers format; missing: no key but ours).
Verdict verify(const QByteArray &archive, const QString &trustedSigners);

// What an import, a check or a diff asks of an archive's signature.
struct Policy {
    bool allowUnsigned = false; // a missing or unknown signer is named, not refused
    QString trustedSigners; // placed
};

// Whether archive may be read under policy. signer gets who signed it, as the
// question and the summaries name it; untrusted tells a refusal for a
// missing or unknown signer alone, which --allow-unsigned would admit.
bool admit(const QByteArray &archive, const Policy &policy, QString *signer, QString *errorText, bool *untrusted);
} // namespace ArchiveSignature
