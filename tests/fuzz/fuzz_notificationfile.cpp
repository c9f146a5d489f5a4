// The per-event syslog-ng notification lines read back into the dialog's
// settings; the file built from those settings must read the same.
#include "fuzzroot.h"

#include "notifications/notificationfile.h"
#include "notifications/notificationsettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzzRoot();
    const QStringList lines = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<int>(size)).split(QLatin1Char('\n'));
    const NotificationSettings first = NotificationSettings::fromSyslogLines(lines);

    NotificationFile::Input input;
    input.messageId = QStringLiteral("fuzz_event");
    input.messageType = QStringLiteral("info");
    input.recipients = first.recipientMode;
    input.title = first.title;
    input.parameterKeys = first.checkedParams;
    const NotificationFile::Result built = NotificationFile::build(input);
    if (!built.error.isEmpty()) {
        return 0;
    }
    // Read back as the module reads a file: line by line.
    const NotificationSettings second = NotificationSettings::fromSyslogLines(built.lines.join(QLatin1Char('\n')).split(QLatin1Char('\n')));
    requireSame(QStringList{QString::number(first.recipientMode), first.title} + first.checkedParams,
                QStringList{QString::number(second.recipientMode), second.title} + second.checkedParams,
                "notification file");
    return 0;
}
