#pragma once

#include "abstractconfigparser.h"
#include "eventtreeitem.h"

#include <QHash>
#include <QJsonObject>
#include <QStringList>

class QJsonArray;

// Builds the event tree: one group per directory of the event settings package,
// one event per settings file, one parameter per JSON key, with the current
// settings laid over the package defaults and the event dictionary applied.
class SingleEventsParser : public AbstractConfigParser
{
    Q_OBJECT
public:
    // path is the current settings file. The first parser of the process reads
    // the event dictionary, which is kept for the life of the process.
    explicit SingleEventsParser(const QString &path, QObject *parent = nullptr);
    ~SingleEventsParser() override;

    // Returns a new root that the caller owns. Never fails: unreadable files
    // give missing events or fallback names, and each is named in the error
    // text. damaged() tells whether the current settings file was not read whole.
    EventTreeItem *parse() override;

    // Derives the marks of every event below item from its parameters and from
    // the notified events: the load and not-redirected marks, the audit keys and
    // the notification state. parse() ends with it; a tree that is kept after
    // its values were written is brought up to date with it.
    static void markEvents(EventTreeItem *item);

    // The limits the event dictionary gives a parameter's value; none when it
    // gives none. Valid once a parser was constructed.
    static ParameterValue::Range valueRange(const QString &key);
    // The display text of a JSON list: its strings and the "path" of its objects.
    static QString listText(const QJsonArray &array);

    // The current settings file's text as parse() reads it. Its damage is
    // what makes the page call the file damaged, one reason (without the
    // path) per line; none when the file is read whole. An empty text is a
    // system whose settings were never saved.
    struct CurrentSettings {
        QJsonObject events; // by event; values of the wrong type read by their meaning
        QHash<QString, QString> literals; // JsonText::Scan::literals
        QStringList damage;
    };
    static CurrentSettings readCurrentSettingsText(const QByteArray &data);

private:
    // The current settings by event; values of the wrong type read by their
    // meaning. *literals gets the texts of the values Qt's reader does not keep
    // (JsonText::Scan::literals).
    QJsonObject readCurrentSettings(QHash<QString, QString> *literals);
};
