#include "configarchive.h"

#include <QCoreApplication>
#include <QTextStream>

#include <sys/stat.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Files we create are system configuration: never group or world writable.
    umask(022);

    const QStringList arguments = app.arguments().mid(1);
    QTextStream err(stderr);
    if (arguments.size() != 2 || (arguments.at(0) != QLatin1String("-o") && arguments.at(0) != QLatin1String("-i")) || arguments.at(1).isEmpty()) {
        err << "usage: velta-event-config-manager -o ARCHIVE | -i ARCHIVE\n";
        return 2;
    }
    QString errorText;
    const bool ok =
        arguments.at(0) == QLatin1String("-o") ? ConfigArchive::exportTo(arguments.at(1), &errorText) : ConfigArchive::importFrom(arguments.at(1), &errorText);
    if (!ok) {
        err << errorText << '\n';
        return 1;
    }
    return 0;
}
