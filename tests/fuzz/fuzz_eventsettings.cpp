// The event settings reader on one event file, its group's name file and the
// current settings file; what it read is written back as settings and must
// read the same.
#include "eventtrees.h"
#include "fuzzroot.h"
#include "testroot.h"

#include "model/eventswriter.h"
#include "model/eventtreeitem.h"
#include "platform/paths.h"

#include <memory>

namespace
{
const QString Group = QStringLiteral("/usr/share/syslog-ng-mod-velta/event-settings/fuzzing");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestRoot &root = fuzzRoot();
    const QList<QByteArray> parts = inputParts(data, size, 3);
    root.writeFile(Group + QStringLiteral("/fuzz-event"), parts.at(0));
    root.writeFile(Group + QStringLiteral("/fuzzing"), parts.at(1));
    root.writeFile(Paths::EventsFile, parts.at(2));

    const std::unique_ptr<EventTreeItem> first = parseEvents();
    EventsWriter writer(Paths::EventsFile, Paths::AuditRulesFile);
    writer.write(first.get());
    const std::unique_ptr<EventTreeItem> second = parseEvents();
    requireSame(dump(first.get()), dump(second.get()), "event settings");
    return 0;
}
