// The event settings reader on one event file, its group's name file and the
// current settings file, in a root that holds nothing else (the sample's 40
// events would make each run a hundred times slower); what it read is turned
// into the settings file's lines, as Apply writes them, and must read the same.
// The lines are written plainly: the audit switches and the wait for the disk
// of a real write are not the reader's, and would cost most of each run.
#include "eventtrees.h"
#include "fuzzroot.h"
#include "testroot.h"

#include "model/eventswriter.h"
#include "model/eventtreeitem.h"
#include "platform/paths.h"

#include <QRegularExpression>

#include <algorithm>
#include <memory>

namespace
{
const QString Group = QStringLiteral("/usr/share/syslog-ng-mod-velta/event-settings/fuzzing");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TestRoot &root = fuzzRoot(false);
    const QList<QByteArray> parts = inputParts(data, size, 3);
    root.writeFile(Group + QStringLiteral("/fuzz-event"), parts.at(0));
    root.writeFile(Group + QStringLiteral("/fuzzing"), parts.at(1));
    root.writeFile(Paths::EventsFile, parts.at(2));

    const std::unique_ptr<EventTreeItem> first = parseEvents();
    const EventsWriter writer(root.placed(Paths::EventsFile), root.placed(Paths::AuditRulesFile));
    root.writeFile(Paths::EventsFile, writer.contents(first.get()));
    const std::unique_ptr<EventTreeItem> second = parseEvents();
    // Apply records the state of every event, also of one whose package file
    // leaves it off by saying nothing: the hidden entry that says so is new.
    static const QRegularExpression recordedOff(QStringLiteral("^ *enabled\\|enabled\\|0\\|<none>\\|kind 2\\|check 0\\|hidden$"));
    const auto shown = [](const EventTreeItem *tree) {
        QStringList lines = dump(tree);
        lines.erase(std::remove_if(lines.begin(),
                                   lines.end(),
                                   [](const QString &line) {
                                       return recordedOff.match(line).hasMatch();
                                   }),
                    lines.end());
        return lines;
    };
    requireSame(shown(first.get()), shown(second.get()), "event settings");
    return 0;
}
