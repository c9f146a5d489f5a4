#include "eventtrees.h"
#include "model/datalanguage.h"
#include "model/eventswriter.h"
#include "model/eventtreeitem.h"
#include "model/singleeventsparser.h"
#include "platform/paths.h"
#include "testroot.h"

#include <QLocale>
#include <QTest>

// Runs with LC_ALL=ru_RU.UTF-8 (set by ctest): the language is fixed per process.
class SingleEventsParserRuTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void displayTexts_data();
    void displayTexts();
    void identifiersWritten();

private:
    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<EventTreeItem> m_tree;
};

void SingleEventsParserRuTest::initTestCase()
{
    QVERIFY2(QLocale::system().language() == QLocale::Russian, "run with LC_ALL=ru_RU.UTF-8");
    QCOMPARE(DataLanguage::code(), QStringLiteral("ru"));
    m_root = std::make_unique<TestRoot>();
    m_root->copySampleSystem();
    m_tree = parseEvents();
}

void SingleEventsParserRuTest::displayTexts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("text");

    QTest::newRow("group") << Paths::EventSettingsDir + QStringLiteral("/authentication") << QStringLiteral("Аутентификация");
    QTest::newRow("subgroup") << Paths::EventSettingsDir + QStringLiteral("/devices/network") << QStringLiteral("Сетевые интерфейсы");
    QTest::newRow("event") << QStringLiteral("user-login-failed") << QStringLiteral("Неудачная попытка входа");
    QTest::newRow("parameter") << QStringLiteral("user-login-failed/filter-values") << QStringLiteral("Значения фильтров");
    QTest::newRow("nested-parameter") << QStringLiteral("file-removal/filter-values/.auditd.key") << QStringLiteral("Файлы");
    QTest::newRow("message-parameter") << QStringLiteral("disk-space-low/message-params/free") << QStringLiteral("Свободное место");
}

void SingleEventsParserRuTest::displayTexts()
{
    QFETCH(QString, path);
    QFETCH(QString, text);
    const EventTreeItem *item = itemAt(m_tree.get(), path);
    QVERIFY(item);
    QCOMPARE(item->data(0).toString(), text);
    // Identifiers never follow the language.
    QCOMPARE(item->id(), path.startsWith(QLatin1Char('/')) ? path : path.section(QLatin1Char('/'), -1));
}

void SingleEventsParserRuTest::identifiersWritten()
{
    const QStringList lines = EventsWriter(Paths::placed(Paths::EventsFile), Paths::placed(Paths::AuditRulesFile)).lines(m_tree.get());
    QVERIFY(
        lines.contains(QStringLiteral("\t\"user-login-failed\" : { \"enabled\" : \"1\", \"notification_repetition\" : { \"enabled\" : \"1\", "
                                      "\"interval\" : \"60\" } },")));
    QVERIFY(
        lines.contains(QStringLiteral("\t\"package-updated\" : { \"enabled\" : \"0\", \"filter-values\" : { \"program\" : [ \"dpkg\", \"apt\", "
                                      "\"unattended-upgrade\" ] } },")));
}

QTEST_GUILESS_MAIN(SingleEventsParserRuTest)
#include "singleeventsparserrutest.moc"
