#include "eventtrees.h"

#include "model/eventtreeitem.h"
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

void writeSecondLayout(const TestRoot &root)
{
    const QString dir = Paths::EventSettingsDir + QLatin1Char('/');
    root.writeFile(dir + QStringLiteral("top-file"), QByteArray(R"({"enabled": 1, "name_en": "Top file"})"));
    root.writeFile(dir + QStringLiteral("accounts/accounts"), QByteArray(R"({"group-params": {"name_en": "Accounts", "name_ru": "Учётные записи"}})"));
    root.writeFile(dir + QStringLiteral("accounts/login"),
                   QByteArray(R"({"name_en": "Login", "name_ru": "Вход", "enabled": 1, "message-params": {"user": "&User"}})"));
    root.writeFile(dir + QStringLiteral("accounts/logout"), QByteArray(R"({"name_en": "Logout", "name_ru": "Выход", "enabled": "0"})"));
    root.writeFile(dir + QStringLiteral("accounts/archive/archive"), QByteArray(R"({"group-params": {"name_en": "Archive", "name_ru": "Архив"}})"));
    root.writeFile(dir + QStringLiteral("accounts/archive/login-old"), QByteArray(R"({"name_en": "Old login", "enabled": 1})"));
    root.writeFile(dir + QStringLiteral("accounts/archive/notes/readme"), QByteArray("Old settings, kept for reference.\n"));
    root.writeFile(dir + QStringLiteral("tools/tools"), QByteArray(R"({"name_en": "Tools event", "enabled": 1})"));
    root.writeFile(dir + QStringLiteral("tools/run"), QByteArray(R"({"name_en": "Run", "enabled": 1})"));
}

QString checkStates(const EventTreeItem *item)
{
    QStringList children;
    for (int row = 0; row < item->childCount(); ++row) {
        const EventTreeItem *child = item->child(row);
        if (child->kind() != EventTreeItem::Group && child->kind() != EventTreeItem::Event) {
            continue;
        }
        const QString name = child->kind() == EventTreeItem::Group ? child->id().section(QLatin1Char('/'), -1) : child->id();
        const QString below = checkStates(child);
        children << name + QLatin1Char('=') + QString::number(child->checkState())
                + (below.isEmpty() ? QString() : QLatin1Char('(') + below + QLatin1Char(')'));
    }
    return children.join(QLatin1Char(' '));
}
