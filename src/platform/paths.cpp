#include "paths.h"

#include <QDir>

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
