#include "paths.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace Paths
{
QString systemRoot()
{
    QString root = QDir::cleanPath(qEnvironmentVariable("QUOR_ADMIN_EVENTS_ROOT"));
    if (root == QLatin1String(".") || root == QLatin1String("/")) {
        return QString();
    }
    return root;
}

QString rootRefusal()
{
    const QString root = systemRoot();
    if (root.isEmpty() || geteuid() != 0) {
        return QString();
    }
    if (!QDir::isAbsolutePath(root)) {
        return i18n("The system root %1 is not an absolute path.", root);
    }
    // From the root itself up to "/".
    QString folder = root;
    for (;;) {
        struct stat status;
        if (::lstat(QFile::encodeName(folder).constData(), &status) != 0 || !S_ISDIR(status.st_mode)) {
            return i18n("The system root %1 cannot be used: %2 is not a folder.", root, folder);
        }
        const bool othersWrite = (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        const bool sticky = (status.st_mode & S_ISVTX) != 0 && folder != root;
        if (status.st_uid != 0 || (othersWrite && !sticky)) {
            return i18n("The system root %1 cannot be used: %2 is not root's alone.", root, folder);
        }
        if (folder == QLatin1String("/")) {
            break;
        }
        folder = folder.left(int(folder.lastIndexOf(QLatin1Char('/'))));
        if (folder.isEmpty()) {
            folder = QStringLiteral("/");
        }
    }
    return QString();
}

QString placed(const QString &path)
{
    return systemRoot() + path;
}

QString unplaced(const QString &placedPath)
{
    const QString root = systemRoot();
    if (!root.isEmpty() && placedPath.startsWith(root + QLatin1Char('/'))) {
        return placedPath.mid(root.size());
    }
    return placedPath;
}

QString placedTyped(const QString &typed)
{
    QString path = QDir::cleanPath(QDir::current().absoluteFilePath(typed));
    // cleanPath keeps ".." above "/", which would lead out of the system root;
    // on the system itself ".." of "/" is "/".
    while (path == QLatin1String("/..") || path.startsWith(QLatin1String("/../"))) {
        path = path.mid(3);
        if (path.isEmpty()) {
            path = QStringLiteral("/");
        }
    }
    return placed(path);
}
}
