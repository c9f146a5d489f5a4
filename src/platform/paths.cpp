#include "paths.h"

#include <QDir>

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
