// The stored settings of a user's notification file: what was read of an
// event's group is written back into the file and must read the same, and the
// other groups must stay as they were.
#include "fuzzroot.h"
#include "testroot.h"

#include "notifications/notifyrcfile.h"

#include <unistd.h>

namespace
{
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
    // The file of the account the fuzzer runs as: its folders under the root are that account's.
    static const NotifyrcFile file(UserAccount::byUid(geteuid()), QStringLiteral("velta-event-watcher_fuzz"));
    const QByteArray text(reinterpret_cast<const char *>(data), static_cast<int>(size));
    root.writeFile(file.path(), text);
    const QVector<NotifyrcGroup> groups = NotifyrcFile::parse(QString::fromUtf8(text));
    const QString eventGroup = QStringLiteral("Event/fuzzEvent");
    NotificationMethods stored;
    QString error;
    if (!file.readSection(QStringLiteral("fuzzEvent"), &stored, &error) || !file.writeSection(QStringLiteral("fuzzEvent"), stored, &error)) {
        return 0;
    }
    NotificationMethods again;
    if (!file.readSection(QStringLiteral("fuzzEvent"), &again, &error)) {
        requireSame({}, {error}, "notification file, reading what was written");
    }
    requireSame(methodsText(stored), methodsText(again), "notification file section");
    requireSame(groupsText(groups, eventGroup),
                groupsText(NotifyrcFile::parse(QString::fromUtf8(root.readFile(file.path()))), eventGroup),
                "notification file, other groups");
    return 0;
}
