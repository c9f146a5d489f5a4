// The stored settings of a user's notification file: what was read of an
// event's group is written back into the file and must read the same, and the
// other groups must stay as they were.
#include "fuzzroot.h"
#include "testroot.h"

#include "notifications/notifyrcfile.h"

namespace
{
const QString UserFile = QStringLiteral("/root/.config/velta-event-watcher_fuzz.notifyrc");

QStringList methodsText(const NotificationMethods &methods)
{
    return {methods.actions, methods.executeCommand, methods.logFile, methods.sound, methods.tts};
}

QStringList groupsText(const QVector<NotifyrcGroup> &groups, const QString &skipped)
{
    QStringList lines;
    for (const NotifyrcGroup &group : groups) {
        if (group.name == skipped) {
            continue;
        }
        lines.append(QLatin1Char('[') + group.name + QLatin1Char(']'));
        for (const auto &entry : group.entries) {
            lines.append(entry.first + QLatin1Char('=') + entry.second);
        }
    }
    return lines;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestRoot &root = fuzzRoot();
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<int>(size));
    root.writeFile(UserFile, text);
    const QVector<NotifyrcGroup> groups = NotifyrcFile::parse(QString::fromUtf8(text));
    const QString eventGroup = QStringLiteral("Event/fuzzEvent");
    const NotifyrcFile file(UserFile);
    const NotificationMethods stored = file.readSection(QStringLiteral("fuzzEvent"));
    QString error;
    if (!file.writeSection(QStringLiteral("fuzzEvent"), stored, &error)) {
        return 0;
    }
    requireSame(methodsText(stored), methodsText(file.readSection(QStringLiteral("fuzzEvent"))), "notification file section");
    requireSame(groupsText(groups, eventGroup),
                groupsText(NotifyrcFile::parse(QString::fromUtf8(root.readFile(UserFile))), eventGroup),
                "notification file, other groups");
    return 0;
}
