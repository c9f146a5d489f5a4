#include "paths.h"

#include <KLocalizedString>

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

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

bool isPerEventFileName(const QString &name)
{
    static const QString prefix = QString(PerEventFilePrefix).section(QLatin1Char('/'), -1);
    static const QString suffix = QStringLiteral(".conf");
    if (name.size() <= prefix.size() + suffix.size() || !name.startsWith(prefix) || !name.endsWith(suffix)) {
        return false;
    }
    // The letters syslog-ng takes in a file of an included folder.
    return std::all_of(name.cbegin(), name.cend(), [](QChar c) {
        return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('_') || c == QLatin1Char('-') || c == QLatin1Char('.');
    });
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
