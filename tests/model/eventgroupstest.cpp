#include "eventtrees.h"
#include "model/checkabletreemodel.h"
#include "model/datalanguage.h"
#include "model/eventtreeitem.h"
#include "model/singleeventsparser.h"
#include "platform/paths.h"
#include "testroot.h"

#include <QAbstractItemModelTester>
#include <QTest>

// Groups as the package lays them out, their check states and their toggles,
// on the sample system and on a second layout. Runs in English and, as
// eventgroupsrutest, in Russian: identifiers and states must not depend on the language.
class EventGroupsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void secondLayoutTree();
    void toggles_data();
    void toggles();

private:
    // The display text in the language of this run.
    static QString text(const char *english, const char *russian)
    {
        return QString::fromUtf8(DataLanguage::code() == QLatin1String("ru") ? russian : english);
    }
};

void EventGroupsTest::initTestCase()
{
    // The dictionary is read once per process: the sample's.
    TestRoot sample;
    sample.copySampleSystem();
    parseEvents();
}

void EventGroupsTest::secondLayoutTree()
{
    TestRoot root;
    writeSecondLayout(root);
    const QString dir = Paths::EventSettingsDir;
    const QStringList expected{
        QStringLiteral("|Parameter|Value|kind 1|check 0|shown"),
        QStringLiteral("  %1/accounts|%2|<none>|kind 0|check 1|shown").arg(dir, text("Accounts", "Учётные записи")),
        QStringLiteral("    %1/accounts/archive|%2|<none>|kind 0|check 0|shown").arg(dir, text("Archive", "Архив")),
        QStringLiteral("      %1/accounts/archive/notes|notes|<none>|kind 0|check 0|shown").arg(dir),
        QStringLiteral("    login|%1|<none>|<none>|kind 1|check 2|shown").arg(text("Login", "Вход")),
        QStringLiteral("      enabled|enabled|1|<none>|kind 2|check 0|hidden"),
        QStringLiteral("      message-params|%1|<none>|<none>|kind 2|check 0|shown").arg(text("Message parameters", "Параметры сообщения")),
        QStringLiteral("        user|%1|&User|<none>|kind 2|check 0|shown").arg(text("User", "Пользователь")),
        QStringLiteral("      name_en|name_en|Login|<none>|kind 2|check 0|hidden"),
        QStringLiteral("      name_ru|name_ru|Вход|<none>|kind 2|check 0|hidden"),
        QStringLiteral("      overlay0|overlay0|enabled|<none>|kind 2|check 0|hidden"),
        QStringLiteral("    logout|%1|<none>|<none>|kind 1|check 0|shown").arg(text("Logout", "Выход")),
        QStringLiteral("      enabled|enabled|0|<none>|kind 2|check 0|hidden"),
        QStringLiteral("      name_en|name_en|Logout|<none>|kind 2|check 0|hidden"),
        QStringLiteral("      name_ru|name_ru|Выход|<none>|kind 2|check 0|hidden"),
        QStringLiteral("      overlay0|overlay0|enabled|<none>|kind 2|check 0|hidden"),
        // The group file holds an event object: still the group file, so no name from it.
        QStringLiteral("  %1/tools|tools|<none>|kind 0|check 2|shown").arg(dir),
        QStringLiteral("    run|Run|<none>|<none>|kind 1|check 2|shown"),
        QStringLiteral("      enabled|enabled|1|<none>|kind 2|check 0|hidden"),
        QStringLiteral("      name_en|name_en|Run|<none>|kind 2|check 0|hidden"),
        QStringLiteral("      overlay0|overlay0|enabled|<none>|kind 2|check 0|hidden"),
    };
    QCOMPARE(dump(parseEvents().get()), expected);
}

void EventGroupsTest::toggles_data()
{
    QTest::addColumn<bool>("sample"); // else the second layout
    QTest::addColumn<QStringList>("clicks"); // events by identifier, groups by directory below the package
    QTest::addColumn<QString>("states");

    const QString sampleRead = QStringLiteral(
        "authentication=1(password-changed=2 session-locked=0 user-login=2 user-login-failed=2 user-logout=2) "
        "devices=1(network=0 network-interface-down=2 network-interface-renamed=2 network-interface-up=2 storage-mounted=2 storage-unmounted=2 usb-device-connected=0 "
        "usb-device-disconnected=2) "
        "filesystem=1(disk-space-low=2 file-opened=2 file-permissions-changed=0 file-removal=2 modifying-directory=2 modifying-file=2) "
        "packages=1(package-installed=2 package-removed=2 package-updated=0) "
        "privileges=2(group-membership-changed=2 su-session=2 sudo-command=2 sudo-failed=2 user-added=2 user-deleted=2) "
        "services=2(service-failed=2 service-started=2 service-stopped=2) "
        "system=1(audit-config-changed=2 kernel-module-loaded=0 system-boot=2 system-shutdown=2 system-time-changed=2)");
    QTest::newRow("sample-as-read") << true << QStringList{} << sampleRead;
    // The nested folder holds no events and does not keep its group partly checked.
    QTest::newRow("sample-last-event-completes-group") << true << QStringList{QStringLiteral("usb-device-connected")}
                                                       << QString(sampleRead)
                                                              .replace(QStringLiteral("devices=1"), QStringLiteral("devices=2"))
                                                              .replace(QStringLiteral("usb-device-connected=0"), QStringLiteral("usb-device-connected=2"));

    const QString secondRead = QStringLiteral("accounts=1(archive=0(notes=0) login=2 logout=0) tools=2(run=2)");
    QTest::newRow("as-read") << false << QStringList{} << secondRead;
    QTest::newRow("event-completes-group") << false << QStringList{QStringLiteral("logout")}
                                           << "accounts=2(archive=0(notes=0) login=2 logout=2) tools=2(run=2)";
    QTest::newRow("last-event-off") << false << QStringList{QStringLiteral("run")} << "accounts=1(archive=0(notes=0) login=2 logout=0) tools=0(run=0)";
    QTest::newRow("partial-group-on-leaves-nested-group")
        << false << QStringList{QStringLiteral("accounts")} << "accounts=2(archive=0(notes=0) login=2 logout=2) tools=2(run=2)";
    QTest::newRow("group-off-again") << false << QStringList{QStringLiteral("accounts"), QStringLiteral("accounts")}
                                     << "accounts=0(archive=0(notes=0) login=0 logout=0) tools=2(run=2)";
    // A nested folder without events has no box: a click on it changes nothing.
    QTest::newRow("empty-nested-group-refuses") << false << QStringList{QStringLiteral("accounts/archive")} << secondRead;
    QTest::newRow("event-after-empty-nested-group") << false << QStringList{QStringLiteral("accounts/archive"), QStringLiteral("logout")}
                                                    << "accounts=2(archive=0(notes=0) login=2 logout=2) tools=2(run=2)";
}

void EventGroupsTest::toggles()
{
    QFETCH(bool, sample);
    QFETCH(QStringList, clicks);
    TestRoot root;
    if (sample) {
        root.copySampleSystem();
    } else {
        writeSecondLayout(root);
    }
    CheckableTreeModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setRoot(parseEvents().release());
    for (const QString &click : clicks) {
        EventTreeItem *item = model.root()->findById(click);
        item = item ? item : model.root()->findById(Paths::EventSettingsDir + QLatin1Char('/') + click);
        QVERIFY2(item, qPrintable(click));
        QCOMPARE(model.setData(model.indexFromItem(item), Qt::Checked, Qt::CheckStateRole), item->isCheckable());
    }
    QTEST(checkStates(model.root()), "states");
}

QTEST_MAIN(EventGroupsTest)
#include "eventgroupstest.moc"
