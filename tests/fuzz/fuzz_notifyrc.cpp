// A user's notification file as the page reads and writes it (NotifyrcFile,
// through the user's folder and the text checks): a file it refuses is left
// byte for byte as it was; otherwise what was read of the event's groups is
// written back as one group, must read the same, and every other group must
// stay as it was.
#include "fuzzroot.h"
#include "testroot.h"

#include "notifications/notifyrcfile.h"
#include "platform/fileread.h"

#include <unistd.h>

namespace
{
const QString EventGroup = QStringLiteral("Event/fuzzEvent");

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

// The groups of the file as the reader takes it; empty when it refuses the text.
QVector<NotifyrcGroup> groupsOf(const QByteArray &bytes, bool *text)
{
    FileRead::Result read;
    read.ok = true;
    read.data = bytes;
    const FileRead::Text decoded = FileRead::decoded(read);
    *text = decoded.ok;
    return decoded.ok ? NotifyrcFile::parse(decoded.text) : QVector<NotifyrcGroup>();
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestRoot &root = fuzzRoot();
    // The file of the account the fuzzer runs as: its folders under the root are that account's.
    static const NotifyrcFile file(UserAccount::byUid(geteuid()), QStringLiteral("velta-event-watcher_fuzz"));
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<int>(size));
    root.writeFile(file.path(), bytes);
    bool isText = false;
    const QVector<NotifyrcGroup> groups = groupsOf(bytes, &isText);
    NotificationMethods stored;
    QString error;
    if (!file.readSection(QStringLiteral("fuzzEvent"), &stored, &error)) {
        // Refused: written over, it would lose what could not be read.
        requireSame({QStringLiteral("not text")},
                    {isText ? QStringLiteral("text, refused: ") + error : QStringLiteral("not text")},
                    "notification file, refusal");
        NotificationMethods methods;
        methods.actions = QStringLiteral("Popup");
        if (file.writeSection(QStringLiteral("fuzzEvent"), methods, &error) || root.readFile(file.path()) != bytes) {
            requireSame({}, {QStringLiteral("a refused file was written")}, "notification file, refusal");
        }
        return 0;
    }
    if (!file.writeSection(QStringLiteral("fuzzEvent"), stored, &error)) {
        requireSame({}, {error}, "notification file, writing what was read");
    }
    NotificationMethods again;
    if (!file.readSection(QStringLiteral("fuzzEvent"), &again, &error)) {
        requireSame({}, {error}, "notification file, reading what was written");
    }
    requireSame(methodsText(stored), methodsText(again), "notification file section");
    bool writtenIsText = false;
    const QVector<NotifyrcGroup> written = groupsOf(root.readFile(file.path()), &writtenIsText);
    requireSame(groupsText(groups, EventGroup), groupsText(written, EventGroup), "notification file, other groups");
    const auto eventGroups = std::count_if(written.cbegin(), written.cend(), [](const NotifyrcGroup &group) {
        return group.name == EventGroup;
    });
    requireSame({QStringLiteral("1")}, {QString::number(eventGroups)}, "notification file, groups of the event");
    return 0;
}
