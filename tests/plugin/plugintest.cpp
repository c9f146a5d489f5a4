#include "breezeicons.h"
#include "common/commonsettingswindow.h"
#include "loadedlibraries.h"
#include "messageboxwatcher.h"
#include "model/checkabletreemodel.h"
#include "pagewindows.h"
#include "platform/paths.h"
#include "plugin/eventfinder.h"
#include "plugin/quoradminevents.h"
#include "testroot.h"
#include "waited.h"

#include <KMessageWidget>
#include <KPluginFactory>
#include <KPluginMetaData>

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

#include <memory>

#include <unistd.h>

namespace
{
// What a window shows in its labels, messages, number fields and tables.
QStringList shownTexts(const QWidget *window)
{
    QStringList texts;
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        texts << label->text();
    }
    for (const KMessageWidget *message : window->findChildren<KMessageWidget *>()) {
        texts << message->text();
    }
    for (const QAbstractSpinBox *field : window->findChildren<QAbstractSpinBox *>()) {
        texts << field->text();
    }
    for (const QAbstractItemView *view : window->findChildren<QAbstractItemView *>()) {
        const QAbstractItemModel *model = view->model();
        for (int row = 0; model && row < model->rowCount(); ++row) {
            for (int column = 0; column < model->columnCount(); ++column) {
                texts << model->index(row, column).data().toString();
            }
        }
    }
    return texts;
}
}

// The built plugin file, as the settings centre sees it.
class PluginTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (geteuid() != 0) {
            QSKIP("the module runs as root only");
        }
    }

    void metadata()
    {
        const KPluginMetaData data(QStringLiteral(PLUGIN_PATH));
        QVERIFY(data.isValid());
        QCOMPARE(data.pluginId(), QStringLiteral("quor-admin-events"));
        QCOMPARE(data.name(), QStringLiteral("System events registration settings"));
        QCOMPARE(data.description(), QStringLiteral("syslog-ng-mod-velta configuration settings"));
        QCOMPARE(data.iconName(), QStringLiteral("quor-admin-events"));
        QCOMPARE(data.formFactors(),
                 (QStringList{QStringLiteral("desktop"), QStringLiteral("handset"), QStringLiteral("tablet"), QStringLiteral("mediacenter")}));
        const QJsonObject json = data.rawData();
        QCOMPARE(json.value(QLatin1String("KPlugin")).toObject().value(QLatin1String("Name[ru]")).toString(),
                 QStringLiteral("Настройка регистрации системных событий"));
#if QT_VERSION_MAJOR == 5
        QCOMPARE(json.value(QLatin1String("KPlugin")).toObject().value(QLatin1String("ServiceTypes")).toArray(), QJsonArray{QStringLiteral("KCModule")});
#else
        // KF6 knows modules by their folder; a service type would only be noise.
        QVERIFY(!json.value(QLatin1String("KPlugin")).toObject().contains(QLatin1String("ServiceTypes")));
        QCOMPARE(data.fileName().section(QLatin1Char('/'), -2, -2), QStringLiteral("systemsettings_qwidgets"));
#endif
        QCOMPARE(json.value(QLatin1String("X-KDE-System-Settings-Parent-Category")).toString(), QStringLiteral("System administration"));
        QCOMPARE(json.value(QLatin1String("X-KDE-Keywords")).toString(), QStringLiteral("Log, Logging, Logs, Audit"));
        QCOMPARE(json.value(QLatin1String("X-KDE-Keywords[ru]")).toString(), QStringLiteral("Лог, Логи, Логирование, Аудит"));
        QCOMPARE(json.value(QLatin1String("X-Quor-AdminOnly")).toString(), QStringLiteral("true"));
        QCOMPARE(json.value(QLatin1String("Categories")).toString(), QStringLiteral("Qt;Settings;Security;"));
        QCOMPARE(json.value(QLatin1String("TryExec")).toString(), QStringLiteral("/usr/bin/quor-admin-events"));
        QCOMPARE(json.value(QLatin1String("X-KDE-ParentApp")).toString(), QStringLiteral("kcontrol"));
        QCOMPARE(json.value(QLatin1String("X-SuSE-YaST-Group")).toString(), QStringLiteral("Security"));
    }

#if QT_VERSION_MAJOR == 5
    void parentOnlyWhenWidget()
    {
        TestRoot root;
        const KPluginMetaData data(QStringLiteral(PLUGIN_PATH));
        QObject notAWidget;
        const auto created = KPluginFactory::instantiatePlugin<KCModule>(data, &notAWidget, {});
        QVERIFY2(created, qPrintable(created.errorString));
        QCOMPARE(created.plugin->parent(), nullptr);
        QCOMPARE(created.plugin->objectName(), QStringLiteral("QuorAdminEvents"));
        delete created.plugin;

        QWidget widget;
        const auto child = KPluginFactory::instantiatePlugin<KCModule>(data, &widget, {});
        QVERIFY(child);
        QCOMPARE(child.plugin->parent(), &widget);
    }
#else
    // KF6's module is no widget: the page lives in the widget the module shows,
    // which takes the module's parent only when that is a widget.
    void pageInTheModulesWidget()
    {
        TestRoot root;
        const KPluginMetaData data(QStringLiteral(PLUGIN_PATH));
        QObject notAWidget;
        const auto created = KPluginFactory::instantiatePlugin<KCModule>(data, &notAWidget, {});
        QVERIFY2(created, qPrintable(created.errorString));
        std::unique_ptr<KCModule> module(created.plugin);
        QCOMPARE(module->widget()->parentWidget(), nullptr);
        // By name: the plugin holds its own copy of the page's class.
        const auto *page = module->widget()->findChild<QWidget *>(QStringLiteral("QuorAdminEvents"));
        QVERIFY(page);
        QVERIFY(page->inherits("QuorAdminEvents"));
        QCOMPARE(module->buttons(), KCModule::Help | KCModule::Apply);

        QWidget widget;
        const auto child = KPluginFactory::instantiatePlugin<KCModule>(data, &widget, {});
        QVERIFY(child);
        QCOMPARE(child.plugin->widget()->parentWidget(), &widget);
    }

    // The settings centre learns of changes through the module. KF6's centre
    // loads the module itself: showing it must not read the page a second time.
    void moduleForwardsToThePage()
    {
        TestRoot root;
        root.copySampleSystem();
        const auto created = KPluginFactory::instantiatePlugin<KCModule>(KPluginMetaData(QStringLiteral(PLUGIN_PATH)), nullptr, {});
        QVERIFY2(created, qPrintable(created.errorString));
        std::unique_ptr<KCModule> module(created.plugin);
        auto *view = module->widget()->findChild<QTreeView *>(QStringLiteral("singleEventsView"));
        QVERIFY(view);
        QAbstractItemModel *model = view->model();
        QSignalSpy loads(model, &QAbstractItemModel::modelReset);
        module->widget()->show();
        QVERIFY(QTest::qWaitForWindowExposed(module->widget()));
        QCoreApplication::processEvents();
        QCOMPARE(loads.count(), 0);
        module->load();
        QCOMPARE(loads.count(), 1);
        QVERIFY(!module->needsSave());

        // Switched off in the sample's current settings.
        const auto event = [model] {
            return model->match(model->index(0, 0), CheckableTreeModel::IdRole, QStringLiteral("package-updated"), 1, Qt::MatchExactly | Qt::MatchRecursive)
                .value(0);
        };
        QVERIFY(model->setData(event(), Qt::Checked, Qt::CheckStateRole));
        QVERIFY(module->needsSave());
        module->load();
        QCOMPARE(loads.count(), 2);
        QVERIFY(!module->needsSave());
        QCOMPARE(event().data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    }
#endif

    // The sound libraries come with the first sound preview, not with the page.
    void openingLoadsNoSoundLibrary()
    {
        TestRoot root;
        root.copySampleSystem();
        const auto created = KPluginFactory::instantiatePlugin<KCModule>(KPluginMetaData(QStringLiteral(PLUGIN_PATH)), nullptr, {});
        QVERIFY2(created, qPrintable(created.errorString));
        std::unique_ptr<KCModule> module(created.plugin);
        module->load();
        QVERIFY(!libraryLoaded("Multimedia"));
    }

    void form()
    {
        TestRoot root;
        QuorAdminEvents module(nullptr, {});
        auto *view = module.findChild<QTreeView *>(QStringLiteral("singleEventsView"));
        QVERIFY(view);
        QCOMPARE(view->editTriggers(), QAbstractItemView::DoubleClicked);
        QCOMPARE(view->header()->minimumSectionSize(), 170);
        QVERIFY(view->alternatingRowColors());
        QCOMPARE(view->contextMenuPolicy(), Qt::CustomContextMenu);
        auto *settings = module.findChild<QPushButton *>(QStringLiteral("commonSettingsButton"));
        QCOMPARE(settings->text(), QStringLiteral("Settings"));
        QCOMPARE(settings->styleSheet(), QStringLiteral("QPushButton { text-align: left; padding: 6px; }"));
        QCOMPARE(module.buttons(), KCModule::Help | KCModule::Apply);
    }

    void settingsOpensOnFirstTab()
    {
        TestRoot root;
        root.copySampleSystem();
        QuorAdminEvents module(nullptr, {});
        auto *settings = module.findChild<QPushButton *>(QStringLiteral("commonSettingsButton"));
        for (const int lastTab : {2, 1}) {
            settings->click();
            // Made at the first click, the same window after.
            QCOMPARE(module.findChildren<CommonSettingsWindow *>().size(), 1);
            auto *window = module.findChild<CommonSettingsWindow *>();
            QVERIFY(window && Waited::idle(*window));
            auto *tabs = window->findChild<QTabWidget *>(QStringLiteral("tabWidget"));
            QVERIFY(window->isVisible());
            QCOMPARE(tabs->currentIndex(), 0);
            tabs->setCurrentIndex(lastTab);
            window->reject();
            QVERIFY(Waited::idle(*window));
        }
    }

    // The window reads its files when first opened, not with the page: what
    // changed on disk in between is what it shows.
    void settingsWindowReadsFilesWhenFirstOpened_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("shown");
        QTest::newRow("rotation-count") << QString(Paths::LogRotateFile) << QByteArrayLiteral("rotate 10") << QByteArrayLiteral("rotate 37")
                                        << QStringLiteral("37");
        QTest::newRow("destination-added") << QString(Paths::CommonSyslogNgFile) << QByteArrayLiteral("destination velta_central_dst")
                                           << QByteArrayLiteral("destination velta_added_dst { file(\"/var/log/added\"); };\ndestination velta_central_dst")
                                           << QStringLiteral("velta_added_dst");
        QTest::newRow("common-file-damaged") << QString(Paths::CommonSyslogNgFile) << QByteArrayLiteral("template(velta_json_line));")
                                             << QByteArrayLiteral("template(velta_json_line);") << QStringLiteral("mod-velta.conf");
    }

    void settingsWindowReadsFilesWhenFirstOpened()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(QString, shown);
        TestRoot root;
        root.copySampleSystem();
        QuorAdminEvents module(nullptr, {});
        module.load();
        QByteArray text = root.readFile(file);
        QVERIFY(text.contains(before));
        root.writeFile(file, text.replace(before, after));

        module.findChild<QPushButton *>(QStringLiteral("commonSettingsButton"))->click();
        auto *window = module.findChild<CommonSettingsWindow *>();
        QVERIFY(window && Waited::idle(*window));
        QVERIFY(window && window->isVisible());
        const QStringList texts = shownTexts(window);
        QVERIFY2(!texts.filter(shown).isEmpty(), qPrintable(texts.join(QLatin1Char('|'))));
    }

    void usefulFirstSize()
    {
        TestRoot root;
        QuorAdminEvents module(nullptr, {});
        QVERIFY(module.sizeHint().width() >= 900);
        QVERIFY(module.sizeHint().height() >= 600);
        // A hint only: the page still shrinks.
        module.resize(500, 400);
        QCOMPARE(module.size(), QSize(500, 400));
    }

    void iconsWithBreezeAlone()
    {
        const BreezeIcons breeze;
        TestRoot root;
        root.copySampleSystem();
        QuorAdminEvents module(nullptr, {});
        module.load();
        QVERIFY(PageWindows::openEach(module));
        // The start/stop button gets its icon with the service status, which
        // arrives from the background.
        QTRY_COMPARE(module.findChild<QLabel *>(QStringLiteral("sngStatusLabel"))->text(), QStringLiteral("Logging service is running."));
        // Buttons by name, in the page and its windows, with how many there are of each.
        const QList<std::pair<const char *, int>> buttons{
            {"commonSettingsButton", 1}, // the page
            {"sngStartStopButton", 1},
            {"searchPrev", 1},
            {"searchNext", 1},
            {"popupCheckBox", 1}, // notification settings
            {"soundCheckBox", 1},
            {"logFileCheckBox", 1},
            {"executeCheckBox", 1},
            {"repeatCheckBox", 1},
            {"playButton", 1},
            {"soundDialogButton", 1},
            {"logFileDialogButton", 1},
            {"executeDialogButton", 1},
            {"addButton", 3}, // destinations and both parameter editors
            {"removeButton", 3},
            {"fileToolButton", 2}, // export and import
            {"chooseFileButton", 1}, // a new file destination
        };
        QStringList withoutIcon;
        for (const auto &[name, count] : buttons) {
            const auto found = module.findChildren<QAbstractButton *>(QLatin1String(name));
            QCOMPARE(found.size(), count);
            for (const QAbstractButton *button : found) {
                if (button->icon().isNull()) {
                    withoutIcon << QLatin1String(name);
                }
            }
        }
        const auto searchActions = module.findChild<EventFinder *>()->findChild<QLineEdit *>(QStringLiteral("eventSearch"))->actions();
        if (searchActions.isEmpty() || searchActions.first()->icon().isNull()) {
            withoutIcon << QStringLiteral("eventSearch");
        }
        QCOMPARE(withoutIcon, QStringList());
    }

    void returnKey()
    {
        TestRoot root;
        // Showing the page loads it, and loading needs the event settings.
        root.copySampleSystem();
        QuorAdminEvents module(nullptr, {});
        module.show();
        QApplication::setActiveWindow(&module);
        QVERIFY(QTest::qWaitForWindowActive(&module));
        auto *startStop = module.findChild<QPushButton *>(QStringLiteral("sngStartStopButton"));
        auto *settings = module.findChild<QPushButton *>(QStringLiteral("commonSettingsButton"));
        QSignalSpy startStopClicked(startStop, &QPushButton::clicked);
        QSignalSpy settingsClicked(settings, &QPushButton::clicked);

        // The button takes the focus once the status query has answered.
        QTRY_VERIFY(startStop->isEnabled());
        startStop->setFocus();
        // Stopping the logging service asks first; No keeps it running.
        MessageBoxWatcher boxes;
        boxes.queueAnswer(QMessageBox::No);
        QTest::keyClick(&module, Qt::Key_Return);
        QCOMPARE(startStopClicked.count(), 1);
        QTRY_COMPARE(boxes.titles(), QStringList{QStringLiteral("Stop logging service")});
        QCOMPARE(settingsClicked.count(), 0);

        // The question took the focus away from the page.
        QApplication::setActiveWindow(&module);
        QVERIFY(QTest::qWaitForWindowActive(&module));
        settings->setFocus();
        QTest::keyClick(&module, Qt::Key_Enter);
        QCOMPARE(settingsClicked.count(), 1);
        const auto windows = QApplication::topLevelWidgets();
        for (QWidget *window : windows) {
            if (window->windowTitle() == QLatin1String("Common parameters")) {
                window->close();
            }
        }

        // Nothing happens while the search field has the focus.
        // The search field of the finder: other windows of the module hold line edits too.
        auto *finder = module.findChild<EventFinder *>();
        auto *search = finder ? finder->findChild<QLineEdit *>() : nullptr;
        if (search) {
            search->setFocus();
            QTest::keyClick(&module, Qt::Key_Return);
            QCOMPARE(startStopClicked.count(), 1);
            QCOMPARE(settingsClicked.count(), 1);
        }
    }
};

QTEST_MAIN(PluginTest)
#include "plugintest.moc"
