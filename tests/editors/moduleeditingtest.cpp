#include "chooseranswer.h"
#include "common/commonsettingswindow.h"
#include "editors/filesdialog.h"
#include "messageboxwatcher.h"
#include "model/checkabletreemodel.h"
#include "pageapply.h"
#include "platform/paths.h"
#include "plugin/quoradminevents.h"
#include "testroot.h"
#include "waited.h"

#include <KMessageWidget>

#include <QDialogButtonBox>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <unistd.h>

// Editing a file list through the module: the dialog, the value and the rules.
namespace
{
// Types text into the cell's editor and commits it with Return.
void typeInto(QTreeView *view, const QModelIndex &cell, const QString &text)
{
    view->scrollTo(cell);
    view->edit(cell);
    QPointer<QLineEdit> editor = view->viewport()->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!editor); // committed and closed
}
}

class ModuleEditingTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (geteuid() != 0) {
            QSKIP("the module runs as root only");
        }
    }

    void fileListEdit_data()
    {
        QTest::addColumn<bool>("cancelChooser");
        QTest::newRow("file-added") << false;
        QTest::newRow("chooser-cancelled") << true;
    }

    void fileListEdit()
    {
        QFETCH(bool, cancelChooser);
        TestRoot root;
        root.copySampleSystem();
        QDir().mkpath(root.placed(QStringLiteral("/etc/audit/rules.d")));
        MessageBoxWatcher watcher;
        ChooserAnswer answer(cancelChooser ? QString() : QStringLiteral("/etc/shadow"));

        QuorAdminEvents module(nullptr, {});
        QSignalSpy changedSpy(&module, qOverload<bool>(&QuorAdminEvents::changed));
        module.show(); // the first showing loads the sample system
        QVERIFY(QTest::qWaitForWindowExposed(&module));

        auto *view = module.findChild<QTreeView *>(QStringLiteral("singleEventsView"));
        const QModelIndexList events = view->model()->match(view->model()->index(0, 0),
                                                            CheckableTreeModel::IdRole,
                                                            QStringLiteral("modifying-file"),
                                                            1,
                                                            Qt::MatchRecursive | Qt::MatchExactly);
        QCOMPARE(events.size(), 1);
        view->expandRecursively(events.first());
        const QModelIndexList keys =
            view->model()->match(events.first(), CheckableTreeModel::IdRole, QStringLiteral(".auditd.key"), 1, Qt::MatchRecursive | Qt::MatchExactly);
        QCOMPARE(keys.size(), 1);
        const QModelIndex keyValue = keys.first().siblingAtColumn(1);
        const QString value = keyValue.data(Qt::EditRole).toString();
        const QModelIndex rulesIndex = keyValue.data(CheckableTreeModel::AuditRulesIndexRole).toModelIndex();
        QVERIFY(rulesIndex.isValid());
        const QString rules = rulesIndex.data(Qt::EditRole).toString();

        view->scrollTo(keyValue);
        const QPoint centre = view->visualRect(keyValue).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, centre);
        auto *dialog = module.findChild<FilesDialog *>();
        QTRY_VERIFY(dialog->isVisible());
        dialog->findChild<QToolButton *>(QStringLiteral("addButton"))->click();
        dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok)->click();

        const QString shadowRule = QStringLiteral("-w /etc/shadow -p wa -k /etc/shadow");
        QCOMPARE(keyValue.data(Qt::EditRole).toString(), cancelChooser ? value : value + QStringLiteral(", /etc/shadow"));
        QCOMPARE(rulesIndex.data(Qt::EditRole).toString(), cancelChooser ? rules : rules + QStringLiteral(", ") + shadowRule);
        QVERIFY(!changedSpy.isEmpty());
        QCOMPARE(changedSpy.last().at(0).toBool(), !cancelChooser);

        PageApply::run(module);
        const QStringList ruleLines = QString::fromUtf8(root.readFile(Paths::AuditRulesFile)).split(QLatin1Char('\n'));
        QCOMPARE(ruleLines.contains(shadowRule), !cancelChooser);
        QVERIFY(ruleLines.contains(QStringLiteral("-w /etc/passwd -p wa -k /etc/passwd")));
        // At most the reboot question, answered No. Without an edit the files stay as they are: nothing to restart.
        if (!cancelChooser) {
            QTRY_VERIFY(root.commands().contains(QStringLiteral("sudo syslog-ng-ctl reload")));
        } else {
            QVERIFY(!root.commands().contains(QStringLiteral("sudo syslog-ng-ctl reload")));
        }
        QCOMPARE(watcher.titles().filter(QStringLiteral("Reboot")), watcher.titles());
    }

    // Typing into the tree: a number stays a number within its range, and a
    // refused text never reaches the settings file.
    void valueKeepsItsKind_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        QTest::addColumn<QString>("written");
        QTest::newRow("word") << "ten"
                              << "\"ten\" is not a number; Check interval (s) takes a number." << QString();
        QTest::newRow("negative") << "-5"
                                  << "Check interval (s) is too small: the least is 1, not -5." << QString();
        QTest::newRow("zero") << "0"
                              << "Check interval (s) is too small: the least is 1, not 0." << QString();
        QTest::newRow("above-range") << "86401"
                                     << "Check interval (s) is too large: the most is 86400, not 86401." << QString();
        QTest::newRow("beyond-64-bits") << "99999999999999999999"
                                        << "Check interval (s) is too large: the most is 86400, not 99999999999999999999." << QString();
        QTest::newRow("fraction") << "1.5"
                                  << "Check interval (s) takes a whole number, not 1.5." << QString();
        QTest::newRow("number") << " 120 " << QString() << "\"check_interval\" : 120";
    }

    void valueKeepsItsKind()
    {
        QFETCH(QString, typed);
        QFETCH(QString, refusal);
        QFETCH(QString, written);
        TestRoot root;
        root.copySampleSystem();
        MessageBoxWatcher watcher;

        QuorAdminEvents module(nullptr, {});
        module.show();
        QVERIFY(QTest::qWaitForWindowExposed(&module));
        auto *messages = module.findChild<KMessageWidget *>(QStringLiteral("messageWidget"));
        QVERIFY(!messages->isVisible());

        auto *view = module.findChild<QTreeView *>(QStringLiteral("singleEventsView"));
        const QModelIndexList found = view->model()->match(view->model()->index(0, 0),
                                                           CheckableTreeModel::IdRole,
                                                           QStringLiteral("check_interval"),
                                                           1,
                                                           Qt::MatchRecursive | Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        const QModelIndex value = found.first().siblingAtColumn(1);
        QCOMPARE(value.data(Qt::EditRole).toString(), QStringLiteral("60"));
        typeInto(view, value, typed);

        if (refusal.isEmpty()) {
            QCOMPARE(value.data(Qt::EditRole).toString(), typed.trimmed());
            QVERIFY(!messages->isVisible());
        } else {
            QCOMPARE(value.data(Qt::EditRole).toString(), QStringLiteral("60"));
            QTRY_VERIFY(messages->isVisible());
            QCOMPARE(messages->text(), refusal);
            QCOMPARE(messages->messageType(), KMessageWidget::Error);
        }
        PageApply::run(module);
        const QByteArray after = root.readFile(Paths::EventsFile);
        if (written.isEmpty()) {
            QVERIFY2(!after.contains("check_interval"), after.constData());
        } else {
            QVERIFY2(after.contains(written.toUtf8()), after.constData());
        }
    }

    // The refusal is answered by the next value that is taken; a value refused
    // again keeps a message up.
    void refusalClearedByValidValue()
    {
        TestRoot root;
        root.copySampleSystem();
        QuorAdminEvents module(nullptr, {});
        module.show();
        QVERIFY(QTest::qWaitForWindowExposed(&module));
        auto *messages = module.findChild<KMessageWidget *>(QStringLiteral("messageWidget"));
        auto *view = module.findChild<QTreeView *>(QStringLiteral("singleEventsView"));
        const QModelIndexList found =
            view->model()->match(view->model()->index(0, 0), CheckableTreeModel::IdRole, QStringLiteral("check_interval"), 1, Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        const QModelIndex value = found.first().siblingAtColumn(1);
        typeInto(view, value, QStringLiteral("0"));
        QTRY_VERIFY(messages->isVisible());
        typeInto(view, value, QStringLiteral("1.5"));
        QCOMPARE(messages->text(), QStringLiteral("Check interval (s) takes a whole number, not 1.5."));
        QVERIFY(messages->isVisible());
        typeInto(view, value, QStringLiteral("30"));
        QTRY_VERIFY(!messages->isVisible());
        QCOMPARE(value.data(Qt::EditRole).toString(), QStringLiteral("30"));
    }

    // Unticking an event leaves it able to open: it still has its parameters.
    void untickedEventKeepsArrow()
    {
        TestRoot root;
        root.copySampleSystem();
        QuorAdminEvents module(nullptr, {});
        module.show();
        QVERIFY(QTest::qWaitForWindowExposed(&module));
        auto *view = module.findChild<QTreeView *>(QStringLiteral("singleEventsView"));
        QAbstractItemModel *model = view->model();
        const QModelIndexList found = model->match(model->index(0, 0), CheckableTreeModel::IdRole, QStringLiteral("disk-space-low"), 1, Qt::MatchRecursive);
        QCOMPARE(found.size(), 1);
        const QPersistentModelIndex event = found.first();
        const int rows = model->rowCount(event);
        QVERIFY(rows > 0);
        view->collapse(event);
        for (int click = 0; click < 2; ++click) {
            view->scrollTo(event);
            const int before = event.data(Qt::CheckStateRole).toInt();
            // A click on the box, as the administrator ticks it.
            QStyleOptionViewItem option;
            option.initFrom(view);
            option.rect = view->visualRect(event);
            option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration | QStyleOptionViewItem::HasDisplay;
            const QRect box = view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, box.center());
            QTRY_VERIFY(event.data(Qt::CheckStateRole).toInt() != before);
            QVERIFY2(model->hasChildren(event), qPrintable(QString::number(click)));
            QCOMPARE(model->rowCount(event), rows);
            view->expand(event);
            QVERIFY(view->isExpanded(event));
            view->collapse(event);
        }
    }

    // Open groups, the selection and the scroll position survive a reload and Apply.
    void viewKeepsItsState_data()
    {
        QTest::addColumn<bool>("apply");
        QTest::newRow("reload") << false;
        QTest::newRow("apply") << true;
    }

    void viewKeepsItsState()
    {
        QFETCH(bool, apply);
        TestRoot root;
        root.copySampleSystem();
        MessageBoxWatcher watcher;
        QuorAdminEvents module(nullptr, {});
        module.resize(900, 300);
        module.show();
        QVERIFY(QTest::qWaitForWindowExposed(&module));
        auto *view = module.findChild<QTreeView *>(QStringLiteral("singleEventsView"));
        const auto find = [view](const QString &id) {
            return view->model()->match(view->model()->index(0, 0), CheckableTreeModel::IdRole, id, 1, Qt::MatchRecursive | Qt::MatchExactly).value(0);
        };
        const QModelIndex firstGroup = view->model()->index(0, 0);
        QVERIFY(view->isExpanded(firstGroup));
        view->collapse(firstGroup);
        const QModelIndex event = find(QStringLiteral("disk-space-low"));
        QVERIFY(event.isValid());
        view->expand(event.parent());
        view->expand(event);
        const QModelIndex interval = find(QStringLiteral("check_interval"));
        view->selectionModel()->setCurrentIndex(interval, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        view->scrollTo(interval, QAbstractItemView::PositionAtTop);
        const int scroll = view->verticalScrollBar()->value();
        QVERIFY(scroll > 0);

        if (apply) {
            PageApply::run(module);
        } else {
            module.load();
        }
        QVERIFY(!view->isExpanded(view->model()->index(0, 0)));
        QVERIFY(view->isExpanded(find(QStringLiteral("disk-space-low"))));
        QCOMPARE(view->currentIndex().data(CheckableTreeModel::IdRole).toString(), QStringLiteral("check_interval"));
        QVERIFY(view->selectionModel()->isRowSelected(view->currentIndex().row(), view->currentIndex().parent()));
        QTRY_COMPARE(view->verticalScrollBar()->value(), scroll);
        auto *messages = module.findChild<KMessageWidget *>(QStringLiteral("messageWidget"));
        QCOMPARE(messages->isVisibleTo(&module), apply);
        if (apply) {
            QCOMPARE(messages->messageType(), KMessageWidget::Positive);
            // Without an edit no file changes: none is named, nothing restarts.
            QCOMPARE(messages->text(), QStringLiteral("Applied. No file needed a change."));
        }
    }

    // A row opened and then hidden by closing its group stays open, and the
    // selection deep inside a closed group stays selected.
    void openRowsInsideClosedGroupsStayOpen_data()
    {
        viewKeepsItsState_data();
    }

    void openRowsInsideClosedGroupsStayOpen()
    {
        QFETCH(bool, apply);
        TestRoot root;
        root.copySampleSystem();
        MessageBoxWatcher watcher;
        QuorAdminEvents module(nullptr, {});
        module.load();
        auto *view = module.findChild<QTreeView *>(QStringLiteral("singleEventsView"));
        const auto find = [view](const QString &id) {
            return view->model()->match(view->model()->index(0, 0), CheckableTreeModel::IdRole, id, 1, Qt::MatchRecursive | Qt::MatchExactly).value(0);
        };
        const QModelIndex event = find(QStringLiteral("password-changed"));
        QVERIFY(event.isValid());
        view->expand(event);
        const QModelIndex parameter = view->model()->index(0, 0, event);
        const QString parameterId = parameter.data(CheckableTreeModel::IdRole).toString();
        view->selectionModel()->setCurrentIndex(parameter, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        view->collapse(event.parent());
        const QModelIndex otherGroup = view->model()->index(1, 0);
        QVERIFY(view->isExpanded(otherGroup));

        if (apply) {
            PageApply::run(module);
        } else {
            module.load();
        }
        const QModelIndex eventAfter = find(QStringLiteral("password-changed"));
        QVERIFY(!view->isExpanded(eventAfter.parent()));
        QVERIFY(view->isExpanded(eventAfter));
        QVERIFY(view->isExpanded(view->model()->index(1, 0)));
        QCOMPARE(view->currentIndex().parent(), eventAfter);
        QCOMPARE(view->currentIndex().data(CheckableTreeModel::IdRole).toString(), parameterId);
    }

    // A write the system refuses is reported with the system's reason: Apply
    // in the page (and its box), OK on the rotation tab in a box that keeps the
    // window open. A file that went with its folder after it was read is not
    // written at all: that is a change outside the module.
    void failedWriteSaysWhy_data()
    {
        QTest::addColumn<bool>("apply");
        QTest::addColumn<QString>("folder"); // removed before the write (Apply: before the page reads it)
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("reason");
        QTest::newRow("apply")
            << true << QStringLiteral("/etc/audit/rules.d") << QStringLiteral("Error")
            << QStringLiteral("Could not write the file /etc/audit/rules.d/velta-syslog.rules: cannot create a temporary file: No such file or directory.");
        QTest::newRow("rotation-tab") << false << QStringLiteral("/etc/logrotate.d") << QStringLiteral("File changed outside this module")
                                      << QStringLiteral(
                                             "The file /etc/logrotate.d/syslog-ng-mod-velta was changed outside this module since it was opened. "
                                             "Nothing was written.\n\nReload it (your edits in this tab are lost)?");
    }

    void failedWriteSaysWhy()
    {
        QFETCH(bool, apply);
        QFETCH(QString, folder);
        QFETCH(QString, title);
        QFETCH(QString, reason);
        TestRoot root;
        root.copySampleSystem();
        if (apply) {
            QVERIFY(QDir(root.placed(folder)).removeRecursively());
        }
        MessageBoxWatcher watcher;
        QuorAdminEvents module(nullptr, {});
        module.load();
        CommonSettingsWindow *window = nullptr;
        if (!apply) {
            module.findChild<QPushButton *>(QStringLiteral("commonSettingsButton"))->click();
            window = module.findChild<CommonSettingsWindow *>();
            QVERIFY(window && Waited::idle(*window));
            window->findChild<QTabWidget *>(QStringLiteral("tabWidget"))->setCurrentWidget(window->findChild<QWidget *>(QStringLiteral("logRotateTab")));
            window->findChild<QSpinBox *>(QStringLiteral("numberOfLogs"))->setValue(3);
        }

        if (apply) {
            PageApply::run(module);
        } else {
            QVERIFY(QDir(root.placed(folder)).removeRecursively());
            window->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok)->click();
            QVERIFY(Waited::idle(*window));
        }
        // Apply may go on to offer the reboot the audit switches need.
        QCOMPARE(watcher.titles().value(0), title);
        QCOMPARE(watcher.texts().value(0), reason);
        QCOMPARE(watcher.titles().mid(1).filter(QStringLiteral("Reboot")), watcher.titles().mid(1));
        auto *page = module.findChild<KMessageWidget *>(QStringLiteral("messageWidget"));
        QCOMPARE(page->isVisibleTo(&module), apply);
        if (apply) {
            QCOMPARE(page->messageType(), KMessageWidget::Error);
            QCOMPARE(page->text(), QStringLiteral("Not everything was applied: ") + reason);
        } else {
            QVERIFY(window->isVisible());
        }
    }
};

QTEST_MAIN(ModuleEditingTest)
#include "moduleeditingtest.moc"
