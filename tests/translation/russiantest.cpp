#include "common/commonsettingswindow.h"
#include "editors/problemsmessage.h"
#include "messageboxwatcher.h"
#include "pagewindows.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/stagedfile.h"
#include "plugin/quoradminevents.h"
#include "testroot.h"

#include <KLocalizedString>

#include <QAbstractItemModel>
#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <cerrno>
#include <cstring>
#include <unistd.h>

class RussianTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (geteuid() != 0) {
            QSKIP("the module runs as root only");
        }
        QVERIFY(QFile::exists(QStringLiteral(QUOR_BUILD_DIR "/locale/ru/LC_MESSAGES/quor-admin-events.mo")));
        QCOMPARE(QLocale::system().language(), QLocale::Russian);
    }

    // First, while the catalogue is not loaded yet: loading it touches files,
    // and the reason must keep the system's cause of the failure, not of a lookup.
    void stagedFileReason()
    {
        QTemporaryDir dir;
        QFile plain(dir.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        StagedFile file;
        QVERIFY(!file.stage(plain.fileName() + QStringLiteral("/file"), QByteArray("x")));
        QCOMPARE(file.errorString(), QStringLiteral("не удалось создать временный файл: ") + QString::fromLocal8Bit(std::strerror(ENOTDIR)));
    }

    // Texts of the page's own widgets and of the windows it creates, by object name.
    void widgetTexts_data()
    {
        QTest::addColumn<QString>("objectName");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QString>("expected");
        QTest::newRow("settings-button") << QStringLiteral("commonSettingsButton") << QByteArrayLiteral("text") << QStringLiteral("Настройки");
        QTest::newRow("service-status") << QStringLiteral("sngStatusLabel") << QByteArrayLiteral("text") << QStringLiteral("Служба журналирования запущена.");
        QTest::newRow("search-placeholder") << QStringLiteral("eventSearch") << QByteArrayLiteral("placeholderText") << QStringLiteral("Поиск");
        QTest::newRow("settings-window") << QStringLiteral("CommonSettingsWindow") << QByteArrayLiteral("windowTitle") << QStringLiteral("Общие параметры");
        QTest::newRow("rotation-terms")
            << QStringLiteral("labelTerms") << QByteArrayLiteral("text")
            << QStringLiteral("Условия ротации проверяются раз в сутки, поэтому размер или срок хранения журнала иногда может превышать заданные значения.");
        QTest::newRow("notification-dialog") << QStringLiteral("DBusDialog") << QByteArrayLiteral("windowTitle") << QStringLiteral("Отправка уведомлений");
        QTest::newRow("notification-methods") << QStringLiteral("notifyTypeGroupBox") << QByteArrayLiteral("title") << QStringLiteral("Способы уведомления");
        QTest::newRow("popup-method") << QStringLiteral("popupCheckBox") << QByteArrayLiteral("text") << QStringLiteral("Показывать всплывающее сообщение");
        QTest::newRow("repeat-suffix") << QStringLiteral("intervalSpinBox") << QByteArrayLiteral("suffix") << QStringLiteral(" сек");
    }

    void widgetTexts()
    {
        QFETCH(QString, objectName);
        QFETCH(QByteArray, property);
        QFETCH(QString, expected);
        TestRoot root;
        root.copySampleSystem();
        QuorAdminEvents module(nullptr, {});
        module.load();
        QVERIFY(PageWindows::openEach(module));
        const auto *widget = module.findChild<QWidget *>(objectName);
        QVERIFY2(widget, qPrintable(objectName));
        QTRY_COMPARE(widget->property(property.constData()).toString(), expected);
    }

    // The event tree: translated column titles, and the names from the data in Russian.
    void eventTree()
    {
        TestRoot root;
        root.copySampleSystem();
        QuorAdminEvents module(nullptr, {});
        module.load();
        const QAbstractItemModel *model = module.findChild<QTreeView *>(QStringLiteral("singleEventsView"))->model();
        QStringList titles;
        for (int column = 0; column < model->columnCount(); ++column) {
            titles << model->headerData(column, Qt::Horizontal).toString();
        }
        QCOMPARE(titles, (QStringList{QStringLiteral("Параметр"), QStringLiteral("Значение")}));
        QVERIFY(!model->match(model->index(0, 0), Qt::DisplayRole, QStringLiteral("Программные пакеты"), 1, Qt::MatchExactly | Qt::MatchRecursive).isEmpty());
    }

    // The tabs, and the window's own buttons, whose texts come from Qt's catalogue.
    void settingsWindow()
    {
        TestRoot root;
        root.copySampleSystem();
        QuorAdminEvents module(nullptr, {});
        // The window is made when first opened.
        module.findChild<QPushButton *>(QStringLiteral("commonSettingsButton"))->click();
        const auto *tabs = module.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        QStringList texts;
        for (int tab = 0; tab < tabs->count(); ++tab) {
            texts << tabs->tabText(tab);
        }
        QCOMPARE(texts, (QStringList{QStringLiteral("Назначения"), QStringLiteral("Ротация журнала"), QStringLiteral("Экспорт"), QStringLiteral("Импорт")}));
        const auto *buttons = module.findChild<CommonSettingsWindow *>()->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));
    }

    void messageBox()
    {
        TestRoot root;
        root.copySampleSystem();
        QuorAdminEvents module(nullptr, {});
        auto *startStop = module.findChild<QPushButton *>(QStringLiteral("sngStartStopButton"));
        QTRY_VERIFY(startStop->isEnabled());
        MessageBoxWatcher watcher;
        watcher.queueAnswer(QMessageBox::No);
        startStop->click();
        QTRY_VERIFY(startStop->isEnabled());
        QCOMPARE(watcher.titles(), QStringList{QStringLiteral("Остановить службу журналирования")});
        QCOMPARE(watcher.texts(),
                 QStringList{QStringLiteral("Пока служба журналирования остановлена, события безопасности не регистрируются. Остановить её?")});
    }

    // What the readers say about a damaged settings file, as the page lists it.
    void readerProblems_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("problem");
        QTest::newRow("not-json") << QByteArray("{ \"package-updated\": ") << QStringLiteral(": некорректный JSON: ");
        QTest::newRow("wrong-type") << QByteArray(R"({ "package-updated": { "enabled": true } })")
                                    << QStringLiteral(
                                           ": событие «package-updated», ключ «enabled»: логическое значение там, где ожидается число или строка; "
                                           "прочитано как «1»");
    }

    void readerProblems()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, problem);
        TestRoot root;
        root.copySampleSystem();
        root.writeFile(Paths::EventsFile, content);
        QuorAdminEvents module(nullptr, {});
        module.load();
        const QString problems = module.findChild<ProblemsMessage *>(QStringLiteral("problemsMessage"))->problems();
        QVERIFY2(problems.contains(problem), qPrintable(problems));
    }

    // The configuration manager's messages, which the page shows when it refuses.
    void toolMessages_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("no-snapshot") << QStringList{QStringLiteral("--restore"), QStringLiteral("20200101-000000-000.tar.gz")}
                                     << QStringLiteral("20200101-000000-000.tar.gz: такого снимка нет");
        QTest::newRow("nothing-to-export") << QStringList{QStringLiteral("-o"), QStringLiteral("/nonexistent/never-written.tar.gz")}
                                           << QStringLiteral("нет файлов конфигурации для экспорта");
    }

    void toolMessages()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const TestRoot root; // empty: nothing to export, no snapshots
        // The locale and the catalogue of the build tree, which the fixed
        // environment of a child does not hold.
        QProcessEnvironment build;
        for (const QString &name : {QStringLiteral("LOCPATH"), QStringLiteral("XDG_DATA_DIRS")}) {
            build.insert(name, qEnvironmentVariable(name.toLatin1().constData()));
        }
        const Process::Result result = Process::run(QStringLiteral(CONFIG_MANAGER_PATH), arguments, 60000, Process::Channels::Separate, build);
        QVERIFY(result.finished);
        QCOMPARE(result.exitCode, 1);
        QCOMPARE(QString::fromUtf8(result.errorOutput).trimmed(), message);
    }

    // Russian has three plural forms; the catalogue's rule picks them by the last digits.
    void pluralForms_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("word");
        QTest::newRow("1") << 1 << QStringLiteral("события");
        QTest::newRow("2") << 2 << QStringLiteral("событий");
        QTest::newRow("5") << 5 << QStringLiteral("событий");
        QTest::newRow("11") << 11 << QStringLiteral("событий");
        QTest::newRow("21") << 21 << QStringLiteral("события");
        QTest::newRow("22") << 22 << QStringLiteral("событий");
    }

    void pluralForms()
    {
        QFETCH(int, count);
        QFETCH(QString, word);
        const QString text = i18np("The saved settings of one event were not found in the package; they are kept as they are.",
                                   "The saved settings of %1 events were not found in the package; they are kept as they are.",
                                   count);
        QCOMPARE(text, QStringLiteral("Сохранённые настройки %1 %2 не найдены в пакете; они оставлены без изменений.").arg(count).arg(word));
    }
};

QTEST_MAIN(RussianTest)
#include "russiantest.moc"
