#include "sessionuser.h"

#include "process.h"

#include <QFile>

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace
{
// getpwnam/getpwuid share one static buffer; the reentrant forms do not.
template<typename Lookup>
UserAccount lookUp(Lookup lookup)
{
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    struct passwd entry;
    struct passwd *found = nullptr;
    UserAccount account;
    if (lookup(&entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
        return account;
    }
    account.name = QString::fromLocal8Bit(found->pw_name);
    account.uid = found->pw_uid;
    account.gid = found->pw_gid;
    account.home = QFile::decodeName(found->pw_dir);
    return account;
}
} // namespace

UserAccount UserAccount::byName(const QString &name)
{
    if (name.isEmpty()) {
        return UserAccount();
    }
    const QByteArray encoded = name.toLocal8Bit();
    return lookUp([&encoded](struct passwd *entry, char *buffer, size_t size, struct passwd **found) {
        return getpwnam_r(encoded.constData(), entry, buffer, size, found);
    });
}

UserAccount UserAccount::byUid(uid_t uid)
{
    return lookUp([uid](struct passwd *entry, char *buffer, size_t size, struct passwd **found) {
        return getpwuid_r(uid, entry, buffer, size, found);
    });
}

namespace SessionUser
{
UserAccount identify()
{
    bool ok = false;
    const uint sudoUid = qEnvironmentVariable("SUDO_UID").toUInt(&ok);
    if (ok) {
        const UserAccount account = UserAccount::byUid(static_cast<uid_t>(sudoUid));
        if (account.isValid()) {
            return account;
        }
    }
    return UserAccount::byName(Process::loginName());
}

const UserAccount &current()
{
    static const UserAccount account = identify();
    return account;
}
} // namespace SessionUser
