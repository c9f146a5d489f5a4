#include "model/datalanguage.h"
#include "eventtrees.h"
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"
#include "model/parametervalue.h"
#include "model/singleeventsparser.h"
#include "platform/paths.h"
#include "testroot.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

// Runs with LANGUAGE=qx, a made-up language with a catalogue of its own in the
// build tree (XDG_DATA_DIRS), under an English locale (gettext passes LANGUAGE
// over in the C ones): names in it come from the data alone.
class DataLanguageTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void choose_data()
    {
        QTest::addColumn<QStringList>("languages");
        QTest::addColumn<QStringList>("translated");
        QTest::addColumn<QString>("chosen");
        const QStringList translated{QStringLiteral("ru"), QStringLiteral("qx"), QStringLiteral("sr")};
        QTest::newRow("country-dropped") << QStringList{QStringLiteral("ru_RU")} << translated << QStringLiteral("ru");
        QTest::newRow("exact") << QStringList{QStringLiteral("qx")} << translated << QStringLiteral("qx");
        QTest::newRow("script-dropped") << QStringList{QStringLiteral("sr@latin")} << translated << QStringLiteral("sr");
        QTest::newRow("untranslated-skipped") << QStringList{QStringLiteral("de"), QStringLiteral("ru")} << translated << QStringLiteral("ru");
        QTest::newRow("english-before-others") << QStringList{QStringLiteral("en_GB"), QStringLiteral("ru")} << translated << QStringLiteral("en");
        QTest::newRow("nothing-translated") << QStringList{QStringLiteral("de"), QStringLiteral("fr")} << translated << QStringLiteral("en");
        QTest::newRow("no-languages") << QStringList() << translated << QStringLiteral("en");
        QTest::newRow("no-catalogues") << QStringList{QStringLiteral("ru")} << QStringList() << QStringLiteral("en");
    }

    void choose()
    {
        QFETCH(QStringList, languages);
        QFETCH(QStringList, translated);
        QFETCH(QString, chosen);
        QCOMPARE(DataLanguage::choose(languages, translated), chosen);
    }

    void madeUpLanguageChosen()
    {
        QCOMPARE(DataLanguage::code(), QStringLiteral("qx"));
        QCOMPARE(DataLanguage::lookupOrder(), (QStringList{QStringLiteral("qx"), QStringLiteral("en")}));
    }

    // Names in the made-up language where the data has them, English where it
    // has only that, the key where it has neither.
    void names_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("shown");
        QTest::newRow("group") << Paths::EventSettingsDir + QStringLiteral("/accounts") << QStringLiteral("Qx accounts");
        QTest::newRow("group-english-only") << Paths::EventSettingsDir + QStringLiteral("/other") << QStringLiteral("Other");
        QTest::newRow("event") << QStringLiteral("login") << QStringLiteral("Qx login");
        QTest::newRow("event-english-only") << QStringLiteral("logout") << QStringLiteral("Logout");
        QTest::newRow("parameter") << QStringLiteral("login/check_interval") << QStringLiteral("Qx check interval");
        QTest::newRow("parameter-english-only") << QStringLiteral("login/message-params") << QStringLiteral("Message parameters");
        QTest::newRow("parameter-unnamed") << QStringLiteral("login/message-params/user") << QStringLiteral("user");
    }

    void names()
    {
        QFETCH(QString, path);
        QFETCH(QString, shown);
        TestRoot root;
        writeSample(root);
        const std::unique_ptr<EventTreeItem> tree = parseEvents();
        const EventTreeItem *item = itemAt(tree.get(), path);
        QVERIFY(item);
        QCOMPARE(item->data(0).toString(), shown);
        if (item->kind() == EventTreeItem::Parameter) {
            QCOMPARE(item->isEditable(), shown == item->id());
        }
    }

    // What notifications call a message parameter: the dictionary's name in the
    // data language, else the package's label. The tree names the parameter in
    // its first column and shows its value, the package's label, in the second.
    void messageParameterLabels_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("value");
        QTest::newRow("named-by-dictionary") << QStringLiteral("login/message-params/host") << QStringLiteral("Qx host") << QStringLiteral("&Host");
        QTest::newRow("package-label") << QStringLiteral("login/message-params/user") << QStringLiteral("User") << QStringLiteral("&User");
    }

    void messageParameterLabels()
    {
        QFETCH(QString, path);
        QFETCH(QString, label);
        QFETCH(QString, value);
        TestRoot root;
        writeSample(root);
        CheckableTreeModel model;
        model.setRoot(parseEvents().release());
        const EventTreeItem *item = itemAt(model.root(), path);
        QVERIFY(item);
        QVERIFY(CheckableTreeModel::isMessageParameter(item));
        QCOMPARE(CheckableTreeModel::messageParameterLabel(item), label);
        const QModelIndexList found = model.match(model.index(0, 0), CheckableTreeModel::IdRole, item->id(), -1, Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.first().siblingAtColumn(1).data().toString(), value);
        QCOMPARE(found.first().siblingAtColumn(1).data(Qt::EditRole).toString(), value);
    }

    // A refused value is named as the tree names it, in words of the same
    // language, and within the dictionary's range.
    void refusalNamesTheParameter()
    {
        TestRoot root;
        writeSample(root);
        CheckableTreeModel model;
        QAbstractItemModelTester tester(&model);
        model.setRoot(parseEvents().release());
        const QModelIndexList found = model.match(model.index(0, 0), CheckableTreeModel::IdRole, QStringLiteral("check_interval"), 1, Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        const QModelIndex value = found.first().siblingAtColumn(1);
        QSignalSpy refused(&model, &CheckableTreeModel::valueRefused);
        QVERIFY(!model.setData(value, QStringLiteral("2.5"), Qt::EditRole));
        QVERIFY(!model.setData(value, QStringLiteral("700"), Qt::EditRole));
        QCOMPARE(refused.size(), 2);
        QCOMPARE(refused.at(0).at(0).toString(), QStringLiteral("qx: Qx check interval / 2.5"));
        QCOMPARE(refused.at(1).at(0).toString(), QStringLiteral("Qx check interval is too large: the most is 600, not 700."));
        QVERIFY(model.setData(value, QStringLiteral("600"), Qt::EditRole));
    }

private:
    static void writeSample(const TestRoot &root)
    {
        root.writeFile(Paths::EventsDictionary,
                       R"({ "check_interval": { "en": "Check interval", "qx": "Qx check interval", "maximum": 600 },
                            "message-params": { "en": "Message parameters" }, "host": { "en": "Host", "qx": "Qx host" },
                            "name_en": { "visible": "false" }, "name_qx": { "visible": "false" } })");
        root.writeFile(Paths::EventsFile, "{\n}\n");
        root.writeFile(Paths::EventSettingsDir + QStringLiteral("/accounts/accounts"),
                       R"({ "group-params": { "name_en": "Accounts", "name_qx": "Qx accounts" } })");
        root.writeFile(Paths::EventSettingsDir + QStringLiteral("/other/other"), R"({ "group-params": { "name_en": "Other" } })");
        writeEvent(root,
                   QStringLiteral("accounts"),
                   QStringLiteral("login"),
                   R"({ "name_en": "Login", "name_qx": "Qx login", "message_id": "login", "check_interval": 60,
                        "message-params": { "user": "&User", "host": "&Host" } })");
        writeEvent(root, QStringLiteral("other"), QStringLiteral("logout"), R"({ "name_en": "Logout", "message_id": "logout" })");
    }
};

QTEST_GUILESS_MAIN(DataLanguageTest)
#include "datalanguagetest.moc"
