#include "eventtrees.h"
#include "model/checkabletreemodel.h"
#include "model/datalanguage.h"
#include "model/eventswriter.h"
#include "model/eventtreeitem.h"
#include "platform/paths.h"
#include "testroot.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace
{
// A value found in the written settings by "event/key/key"; lists read as their
// elements joined by ",".
QString writtenValue(const QByteArray &settings, const QString &path)
{
    QJsonValue value = QJsonDocument::fromJson(settings).object();
    for (const QString &key : path.split(QLatin1Char('/'))) {
        value = value.toObject().value(key);
    }
    if (value.isArray()) {
        QStringList elements;
        for (const QJsonValue &element : value.toArray()) {
            elements << element.toVariant().toString();
        }
        return elements.join(QLatin1Char(','));
    }
    return value.toVariant().toString();
}
}

// Every kind of parameter edited through the model, in the language the run
// gives (ctest runs it in English and in Russian), is written and read back.
// The sample is extended as a package and dictionary of another system may be:
// message parameters that the dictionary makes editable and names in Russian
// only.
class ParameterEditTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        m_russian = DataLanguage::code() == QLatin1String("ru");
        m_root.copySampleSystem();
        QDir().mkpath(m_root.placed(QStringLiteral("/etc/audit/rules.d")));
        QJsonObject dictionary = QJsonDocument::fromJson(m_root.readFile(Paths::EventsDictionary)).object();
        dictionary.insert(QStringLiteral("check-interval"),
                          QJsonObject{{QStringLiteral("editable"), QStringLiteral("true")}, {QStringLiteral("ru"), QStringLiteral("Интервал проверки")}});
        dictionary.insert(QStringLiteral("caption"),
                          QJsonObject{{QStringLiteral("editable"), QStringLiteral("true")},
                                      {QStringLiteral("ru"), QStringLiteral("Заголовок")},
                                      {QStringLiteral("en"), QStringLiteral("Caption")}});
        m_root.writeFile(Paths::EventsDictionary, QJsonDocument(dictionary).toJson());
        writeEvent(m_root,
                   QStringLiteral("filesystem"),
                   QStringLiteral("disk-watch"),
                   R"({ "name_en": "Disk watch", "name_ru": "Наблюдение за диском", "message_id": "disk_watch",
                        "message-params": { "check-interval": 30, "caption": "&Disk", "label": "&Watched", "ratio": 2.5, "verbose": false } })");
    }

    void edits_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name"); // in the first column; Russian, English
        QTest::addColumn<QString>("typed"); // empty: the box in the value column is clicked
        QTest::addColumn<QString>("written");

        QTest::newRow("message-parameter-named-in-russian-only") << "disk-watch/message-params/check-interval"
                                                                 << "Интервал проверки|check-interval"
                                                                 << "45"
                                                                 << "45";
        QTest::newRow("message-parameter-named-in-both") << "disk-watch/message-params/caption"
                                                         << "Заголовок|Caption"
                                                         << "&Volume"
                                                         << "&Volume";
        QTest::newRow("message-parameter-unnamed") << "disk-watch/message-params/label"
                                                   << "label|label"
                                                   << "&Seen"
                                                   << "&Seen";
        QTest::newRow("number") << "disk-watch/message-params/ratio"
                                << "ratio|ratio"
                                << "0.75"
                                << "0.75";
        QTest::newRow("boolean") << "disk-watch/message-params/verbose"
                                 << "verbose|verbose"
                                 << "true"
                                 << "true";
        QTest::newRow("whole-number") << "disk-space-low/check_interval"
                                      << "Интервал проверки (с)|Check interval (s)"
                                      << "120"
                                      << "120";
        QTest::newRow("object-member") << "disk-space-low/notification_repetition/interval"
                                       << "Интервал (с)|Interval (s)"
                                       << "900"
                                       << "900";
        QTest::newRow("object-switch") << "disk-space-low/notification_repetition"
                                       << "Повтор уведомлений|Notification repetition" << QString() << "0";
        QTest::newRow("list") << "network-interface-up/filter-values/program"
                              << "Программа|Program"
                              << "/usr/sbin/ip, /sbin/ifup"
                              << "/usr/sbin/ip,/sbin/ifup";
    }

    void edits()
    {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QFETCH(QString, typed);
        QFETCH(QString, written);
        CheckableTreeModel saved;
        CheckableTreeModel current;
        QAbstractItemModelTester tester(&current);
        saved.setRoot(parseEvents().release());
        current.setRoot(parseEvents().release());
        EventTreeItem *item = itemAt(current.root(), path);
        QVERIFY(item);
        QCOMPARE(item->data(0).toString(), name.section(QLatin1Char('|'), m_russian ? 0 : 1, m_russian ? 0 : 1));
        const QModelIndex value = current.indexFromItem(item, 1);

        if (typed.isEmpty()) {
            QCOMPARE(value.data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
            QVERIFY(current.setData(value, Qt::Unchecked, Qt::CheckStateRole));
            QCOMPARE(value.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        } else {
            QVERIFY(value.flags() & Qt::ItemIsEditable);
            QVERIFY(current.setData(value, typed, Qt::EditRole));
            // The value column shows the value, whatever names the parameter.
            QCOMPARE(value.data(Qt::DisplayRole).toString(), typed);
        }
        QVERIFY(current.differsFrom(saved));

        EventsWriter writer(Paths::placed(Paths::EventsFile), Paths::placed(Paths::AuditRulesFile));
        QVERIFY(writer.write(current.root()));
        QVERIFY(writer.errors().isEmpty());
        const QByteArray settings = m_root.readFile(Paths::EventsFile);
        QVERIFY2(writtenValue(settings, typed.isEmpty() ? path + QStringLiteral("/enabled") : path) == written, settings.constData());

        const std::unique_ptr<EventTreeItem> reread = parseEvents();
        const EventTreeItem *again = itemAt(reread.get(), path);
        QVERIFY(again);
        if (typed.isEmpty()) {
            QCOMPARE(again->checkState(), int(Qt::Unchecked));
        } else {
            QCOMPARE(again->data(1).toString(), typed);
        }
        // The next row starts from the sample's settings again.
        m_root.copyData(QStringLiteral("root") + Paths::EventsFile, Paths::EventsFile);
    }

private:
    TestRoot m_root;
    bool m_russian = false;
};

QTEST_GUILESS_MAIN(ParameterEditTest)
#include "parameteredittest.moc"
