#include "eventtrees.h"

#include "model/singleeventsparser.h"
#include "platform/paths.h"
#include "testroot.h"

void writeEvent(const TestRoot &root, const QString &group, const QString &id, const QByteArray &json)
{
    root.writeFile(Paths::EventSettingsDir + QLatin1Char('/') + group + QLatin1Char('/') + id, json);
}

std::unique_ptr<EventTreeItem> parseEvents()
{
    SingleEventsParser parser(Paths::placed(Paths::EventsFile));
    return std::unique_ptr<EventTreeItem>(parser.parse());
}

EventTreeItem *itemAt(const EventTreeItem *root, const QString &path)
{
    if (path.startsWith(QLatin1Char('/'))) {
        return root->findById(path);
    }
    const QStringList ids = path.split(QLatin1Char('/'));
    EventTreeItem *item = root->findById(ids.first());
    for (int i = 1; item && i < ids.size(); ++i) {
        item = item->findChildById(ids.at(i));
    }
    return item;
}

QStringList dump(const EventTreeItem *item)
{
    QStringList columns;
    for (int column = 0; column < item->columnCount(); ++column) {
        columns.append(item->data(column).isValid() ? item->data(column).toString() : QStringLiteral("<none>"));
    }
    QStringList lines{QStringLiteral("%1|%2|kind %3|check %4|%5")
                          .arg(item->id(), columns.join(QLatin1Char('|')))
                          .arg(item->kind())
                          .arg(item->checkState())
                          .arg(item->isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden"))};
    for (int row = 0; row < item->childCount(); ++row) {
        for (const QString &line : dump(item->child(row))) {
            lines.append(QLatin1String("  ") + line);
        }
    }
    return lines;
}
