#pragma once

#include <QString>

#include <sys/types.h>

// One account of the password database.
struct UserAccount {
    QString name; // empty when there is no such account
    uid_t uid = 0;
    gid_t gid = 0;
    QString home; // as the system knows it; place it under the system root for access

    bool isValid() const
    {
        return !name.isEmpty();
    }

    static UserAccount byName(const QString &name);
    static UserAccount byUid(uid_t uid);
};

// The user behind this session: the account of SUDO_UID, else of the name that
// "logname" gives.
namespace SessionUser
{
// Asks again on every call.
UserAccount identify();
// Asked once per process: the user does not change while the module runs.
const UserAccount &current();
}
