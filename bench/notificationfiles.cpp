// Writes the per-event notification files of N events, as the module writes
// them, into a folder: pipelinebench.sh runs syslog-ng on them.
//
//     notificationfiles FOLDER COUNT
//
// The events are "bench_event_0" ... of message type "info", each notified to
// all users with the parameters "user" and "host".
#include "notifications/notificationfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    bool counted = false;
    const int count = arguments.size() == 3 ? arguments.at(2).toInt(&counted) : 0;
    if (!counted || count < 0) {
        QTextStream(stderr) << "usage: notificationfiles FOLDER COUNT\n";
        return 2;
    }
    for (int i = 0; i < count; ++i) {
        NotificationFile::Input input;
        input.messageId = QStringLiteral("bench_event_%1").arg(i);
        input.messageType = QStringLiteral("info");
        input.title = QStringLiteral("Benchmark event %1").arg(i);
        input.parameterKeys = QStringList{QStringLiteral("user"), QStringLiteral("host")};
        const NotificationFile::Result result = NotificationFile::build(input);
        // The file's name as the module gives it, in the folder named here.
        QFile file(arguments.at(1) + QLatin1Char('/') + QFileInfo(NotificationFile::filePath(input.messageId)).fileName());
        if (!result.error.isEmpty() || !file.open(QIODevice::WriteOnly)) {
            QTextStream(stderr) << "cannot write " << file.fileName() << ": " << result.error << file.errorString() << '\n';
            return 1;
        }
        file.write((result.lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    }
    return 0;
}
