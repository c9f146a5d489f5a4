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
}
