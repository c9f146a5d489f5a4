#include "filedestination.h"

#include "model/treeitem.h"
#include "platform/paths.h"
#include "syslogngstring.h"

#include <KLocalizedString>

#include <QDir>
#include <QFileInfo>

namespace FileDestination
{
Check check(const QString &path)
{
    Check result;
    if (!path.startsWith(QLatin1Char('/'))) {
        result.error = i18n("The file path must be absolute.");
        return result;
    }
    const QString file = QDir::cleanPath(path);
    if (path.endsWith(QLatin1Char('/')) || QFileInfo(Paths::placed(file)).isDir()) {
        result.error = i18n("%1 is a folder, not a file.", path);
        return result;
    }
    // syslog-ng makes the missing folders below the nearest existing one.
    QString folder = QFileInfo(file).path();
    while (folder != QLatin1String("/") && !QFileInfo::exists(Paths::placed(folder))) {
        result.folderMissing = true;
        folder = QFileInfo(folder).path();
    }
    if (folder != QLatin1String("/") && !QFileInfo(Paths::placed(folder)).isDir()) {
        result.error = i18n("The folder of the file cannot be made: %1 is not a folder.", folder);
    }
    return result;
}

QString shownValue(const QString &line)
{
    const int length = SyslogNgString::quotedLength(line);
    if (length == 0) {
        return SyslogNgString::unescaped(line.mid(1, line.size() - 2));
    }
    const QString path = SyslogNgString::unescaped(line.mid(1, length - 2));
    const QString options = line.mid(length).trimmed();
    return options.isEmpty() ? path : path + QLatin1Char(' ') + options;
}

DestinationKind::AddressCheck checkAddress(const QString &address)
{
    const Check file = check(address);
    if (!file.error.isEmpty()) {
        return {false, file.error};
    }
    return {true, file.folderMissing ? i18n("The folder of the file does not exist; syslog-ng will create it.") : QString()};
}

namespace
{
// The template of the main log's lines, one JSON record each.
QString jsonLineTemplate(const TreeItem *root)
{
    for (int i = 0; root && i < root->childCount(); ++i) {
        if (root->child(i)->data(0).toString() == QLatin1String("template") && root->child(i)->data(1).toString() == QLatin1String("velta_json_line")) {
            return QStringLiteral(" template(velta_json_line)");
        }
    }
    return QStringLiteral(" template(\"$MSG\\n\")");
}
}

QString optionValue(const NewDestination &destination, const TreeItem *root)
{
    // One JSON record a line, as in the main log: by the main log's template where the file has it.
    QString value = QLatin1Char('"') + SyslogNgString::escaped(destination.address) + QLatin1Char('"') + jsonLineTemplate(root);
    if (check(destination.address).folderMissing) {
        // Without it syslog-ng drops the records until someone makes the folder.
        value += QLatin1String(" create-dirs(yes)");
    }
    return value;
}
} // namespace FileDestination
