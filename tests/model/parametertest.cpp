// Which editor a parameter gets, by its key and the event it belongs to, and
// how the comma-separated lists that these editors and the files hold are read.
#include "eventtreebuilder.h"
#include "model/checkabletreemodel.h"
#include "model/eventtreeitem.h"
#include "model/parametereditor.h"
#include "model/parametervalue.h"

#include <QTest>

class ParameterTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void editorKind_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("parameter");
        QTest::addColumn<int>("kind");
        QTest::newRow("program-of-any-event") << QStringLiteral("process-start") << QStringLiteral(".auditd.msg.exe") << int(ParameterEditor::Kind::FileList);
        QTest::newRow("key-of-modifying-file") << QStringLiteral("modifying-file") << QStringLiteral(".auditd.key") << int(ParameterEditor::Kind::FileList);
        QTest::newRow("key-of-file-removal") << QStringLiteral("file-removal") << QStringLiteral(".auditd.key") << int(ParameterEditor::Kind::FileList);
        QTest::newRow("key-of-file-opened") << QStringLiteral("file-opened") << QStringLiteral(".auditd.key") << int(ParameterEditor::Kind::FileList);
        QTest::newRow("key-of-modifying-directory") << QStringLiteral("modifying-directory") << QStringLiteral(".auditd.key")
                                                    << int(ParameterEditor::Kind::DirectoryList);
        QTest::newRow("key-of-other-event") << QStringLiteral("user-login") << QStringLiteral(".auditd.key") << int(ParameterEditor::Kind::None);
        QTest::newRow("disk-space-limits") << QStringLiteral("disk-space") << QStringLiteral("directories") << int(ParameterEditor::Kind::Directories);
        QTest::newRow("typed") << QStringLiteral("disk-space") << QStringLiteral("interval") << int(ParameterEditor::Kind::None);
    }

    // The kind, and the roles and the flags the page reads of it.
    void editorKind()
    {
        QFETCH(QString, event);
        QFETCH(QString, parameter);
        QFETCH(int, kind);
        auto *root = new EventTreeItem(QVector<QVariant>{QStringLiteral("Parameter"), QStringLiteral("Value"), QVariant()});
        EventTreeItem *group = addTreeItem(root, QStringLiteral("files"), EventTreeItem::Group);
        EventTreeItem *eventItem = addTreeItem(group, event, EventTreeItem::Event);
        EventTreeItem *item = addTreeItem(eventItem, parameter, EventTreeItem::Parameter, QStringLiteral("/etc/passwd"));
        item->setEditable(true);
        QCOMPARE(int(ParameterEditor::kindOf(item)), kind);

        CheckableTreeModel model;
        model.setRoot(root);
        const QModelIndex first = model.indexFromItem(item, 0);
        QCOMPARE(first.data(CheckableTreeModel::EditorRole).toInt(), kind);
        QCOMPARE(first.data(CheckableTreeModel::FileListRole).toInt(), kind == int(ParameterEditor::Kind::FileList) ? 1 : 0);
        QCOMPARE(first.data(CheckableTreeModel::DirectoryListRole).toInt(), kind == int(ParameterEditor::Kind::DirectoryList) ? 1 : 0);
        QCOMPARE(first.data(CheckableTreeModel::DirectoriesRole).toInt(), kind == int(ParameterEditor::Kind::Directories) ? 1 : 0);
        // A parameter with an editor of its own is not typed into its cell.
        QCOMPARE(model.flags(model.indexFromItem(item, 1)).testFlag(Qt::ItemIsEditable), kind == int(ParameterEditor::Kind::None));
    }

    void listElements_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("elements");
        QTest::newRow("empty") << QString() << QStringList();
        QTest::newRow("one") << QStringLiteral("/etc/passwd") << QStringList{QStringLiteral("/etc/passwd")};
        QTest::newRow("as-shown") << QStringLiteral("/etc/passwd, /etc/shadow") << QStringList{QStringLiteral("/etc/passwd"), QStringLiteral("/etc/shadow")};
        QTest::newRow("without-spaces") << QStringLiteral("a,b") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("empty-elements-and-line-breaks") << QStringLiteral(", a,\n, ,b ,") << QStringList{QStringLiteral("a"), QStringLiteral("b")};
        QTest::newRow("inner-white-space") << QStringLiteral(" /var/log/my \t logs ") << QStringList{QStringLiteral("/var/log/my logs")};
    }

    void listElements()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, elements);
        QCOMPARE(ParameterValue::listElements(text), elements);
    }
};

QTEST_GUILESS_MAIN(ParameterTest)

#include "parametertest.moc"
