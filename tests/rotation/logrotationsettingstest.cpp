#include "rotation/logrotationsettings.h"
#include "model/treeitem.h"
#include "platform/paths.h"
#include "rotation/logrotateparser.h"
#include "testroot.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>

#include <memory>

namespace
{
const QString RotateFile = Paths::LogRotateFile;
const QByteArray Header = "/dorvex/log/velta/events\n{\n";

// The panel's controls by object name.
struct Panel {
    explicit Panel(LogRotationSettings &settings)
        : numberCheckBox(settings.findChild<QCheckBox *>(QStringLiteral("numberCheckBox")))
        , numberOfLogs(settings.findChild<QSpinBox *>(QStringLiteral("numberOfLogs")))
        , logSizeCheckBox(settings.findChild<QCheckBox *>(QStringLiteral("logSizeCheckBox")))
        , logSize(settings.findChild<QSpinBox *>(QStringLiteral("logSize")))
        , periodCheckBox(settings.findChild<QCheckBox *>(QStringLiteral("periodCheckBox")))
        , periodComboBox(settings.findChild<QComboBox *>(QStringLiteral("periodComboBox")))
        , settingsPanel(settings.findChild<QWidget *>(QStringLiteral("_settingsPanel")))
        , logSizeLabel(settings.findChild<QLabel *>(QStringLiteral("logSizeLabel")))
        , diskSpaceLabel(settings.findChild<QLabel *>(QStringLiteral("diskSpaceLabel")))
    {
    }

    // -1 for an unchecked number or size, an empty period when unchecked.
    int number() const
    {
        return numberCheckBox->isChecked() ? numberOfLogs->value() : -1;
    }
    int size() const
    {
        return logSizeCheckBox->isChecked() ? logSize->value() : -1;
    }
    QString period() const
    {
        return periodCheckBox->isChecked() ? periodComboBox->currentData().toString() : QString();
    }
    bool controlsFollowBoxes() const
    {
        return numberOfLogs->isEnabled() == numberCheckBox->isChecked() && logSize->isEnabled() == logSizeCheckBox->isChecked()
            && periodComboBox->isEnabled() == periodCheckBox->isChecked();
    }

    QCheckBox *numberCheckBox;
    QSpinBox *numberOfLogs;
    QCheckBox *logSizeCheckBox;
    QSpinBox *logSize;
    QCheckBox *periodCheckBox;
    QComboBox *periodComboBox;
    QWidget *settingsPanel;
    QLabel *logSizeLabel;
    QLabel *diskSpaceLabel;
};

QByteArray sampleFile()
{
    QFile file(QStringLiteral(QUOR_DATA_DIR "/root/etc/logrotate.d/syslog-ng-mod-velta"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}

class LogRotationSettingsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void load_data();
    void load();
    void withoutFile_data();
    void withoutFile();
    void badFileStillLoads();
    void saveCombinations_data();
    void saveCombinations();
    void saveNormalises_data();
    void saveNormalises();
    void statistics_data();
    void statistics();
};

void LogRotationSettingsTest::load_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("period");

    QTest::newRow("sample") << sampleFile() << 10 << 100 << QString();
    QTest::newRow("rotate-250-clamped-to-99") << Header + "\trotate 250\n}\n" << 99 << -1 << QString();
    QTest::newRow("rotate-not-a-number-is-0") << Header + "\trotate many\n}\n" << 0 << -1 << QString();
    QTest::newRow("repeated-rotate-last-applies") << Header + "\trotate 3\n\tmissingok\n\trotate 5\n}\n" << 5 << -1 << QString();
    QTest::newRow("size-2G-in-megabytes") << Header + "\tsize 2G\n}\n" << -1 << 2048 << QString();
    QTest::newRow("size-in-bytes-rounded-up") << Header + "\tsize 1048577\n}\n" << -1 << 2 << QString();
    QTest::newRow("size-100k-rounded-up") << Header + "\tsize 100k\n}\n" << -1 << 1 << QString();
    QTest::newRow("size-clamped-to-4096") << Header + "\tsize 9000M\n}\n" << -1 << 4096 << QString();
    QTest::newRow("daily-after-size-applies") << Header + "\tsize 10M\n\tdaily\n}\n" << -1 << -1 << QStringLiteral("daily");
    QTest::newRow("size-after-weekly-applies") << Header + "\tweekly\n\tsize 10M\n}\n" << -1 << 10 << QString();
    QTest::newRow("monthly") << Header + "\trotate 4\n\tmonthly\n}\n" << 4 << -1 << QStringLiteral("monthly");
}

void LogRotationSettingsTest::load()
{
    QFETCH(QByteArray, content);
    QFETCH(int, number);
    QFETCH(int, size);
    QFETCH(QString, period);
    TestRoot root;
    root.writeFile(RotateFile, content);
    LogRotationSettings settings;
    const Panel panel(settings);
    // A load replaces whatever the controls held before.
    panel.periodCheckBox->setChecked(true);
    panel.numberCheckBox->setChecked(true);

    settings.load();
    QVERIFY(panel.settingsPanel->isEnabled());
    QCOMPARE(panel.number(), number);
    QCOMPARE(panel.size(), size);
    QCOMPARE(panel.period(), period);
    QVERIFY(panel.controlsFollowBoxes());
}

void LogRotationSettingsTest::withoutFile_data()
{
    QTest::addColumn<bool>("exists");

    QTest::newRow("empty-file") << true;
    QTest::newRow("missing-file") << false;
}

void LogRotationSettingsTest::withoutFile()
{
    QFETCH(bool, exists);
    TestRoot root;
    if (exists) {
        root.writeFile(RotateFile, QByteArray());
    }
    LogRotationSettings settings;
    const Panel panel(settings);
    settings.load();
    QVERIFY(!panel.settingsPanel->isEnabled());
    QVERIFY(!panel.settingsPanel->toolTip().isEmpty());
    QCOMPARE(panel.number(), -1);

    QVERIFY(settings.save());
    QCOMPARE(root.exists(RotateFile), exists);
    QCOMPARE(root.readFile(RotateFile), QByteArray());
}

// A file logrotate ignores (writable by others) is still shown, with the reason.
void LogRotationSettingsTest::badFileStillLoads()
{
    TestRoot root;
    root.writeFile(RotateFile, sampleFile());
    QFile(root.placed(RotateFile))
        .setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
                        | QFileDevice::WriteOther);
    LogRotationSettings settings;
    const Panel panel(settings);
    settings.load();
    QVERIFY(panel.settingsPanel->isEnabled());
    QCOMPARE(panel.settingsPanel->toolTip(), root.placed(RotateFile) + QStringLiteral(": Bad config file"));
    QCOMPARE(panel.number(), 10);
    QCOMPARE(panel.size(), 100);
}

void LogRotationSettingsTest::saveCombinations_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("period");

    const int numbers[] = {0, 5, 99};
    const int sizes[] = {1, 250, 4096};
    const QString periods[] = {QStringLiteral("daily"), QStringLiteral("weekly"), QStringLiteral("monthly"), QStringLiteral("yearly")};
    for (int boxes = 0; boxes < 8; ++boxes) {
        const bool number = boxes & 1;
        const bool size = boxes & 2;
        const bool period = boxes & 4;
        const QByteArray name = QByteArray(number ? "rotate" : "no-rotate") + (size ? "-size" : "-no-size") + (period ? "-period" : "-no-period");
        QTest::newRow(name.constData()) << (number ? numbers[boxes % 3] : -1) << (size ? sizes[boxes % 3] : -1) << (period ? periods[boxes % 4] : QString());
    }
}

// Every combination is written so that logrotate accepts it and the panel reads
// back what was set; checking the period unchecks the size.
void LogRotationSettingsTest::saveCombinations()
{
    QFETCH(int, number);
    QFETCH(int, size);
    QFETCH(QString, period);
    TestRoot root;
    root.copySampleSystem();
    LogRotationSettings settings;
    const Panel panel(settings);
    settings.load();

    panel.numberCheckBox->setChecked(number >= 0);
    panel.numberOfLogs->setValue(number);
    panel.logSizeCheckBox->setChecked(size >= 0);
    panel.logSize->setValue(size);
    panel.periodCheckBox->setChecked(!period.isEmpty());
    panel.periodComboBox->setCurrentIndex(panel.periodComboBox->findData(period));
    const int savedSize = period.isEmpty() ? size : -1;
    QCOMPARE(panel.size(), savedSize);
    QVERIFY(settings.save());

    LogRotateParser parser(root.placed(RotateFile));
    const std::unique_ptr<TreeItem> tree(parser.parse());
    QVERIFY(tree);
    QCOMPARE(parser.errorString(), QString());
    QStringList expected;
    if (number >= 0) {
        expected << QStringLiteral("rotate ") + QString::number(number);
    }
    if (savedSize >= 0) {
        expected << QStringLiteral("size ") + QString::number(size) + QLatin1Char('M');
    }
    if (!period.isEmpty()) {
        expected << period;
    }
    expected << QStringLiteral("missingok") << QStringLiteral("notifempty") << QStringLiteral("compress") << QStringLiteral("delaycompress")
             << QStringLiteral("postrotate invoke-rc.d syslog-ng reload > /dev/null") << QStringLiteral("endscript");
    const TreeItem *block = tree->child(0);
    QCOMPARE(block->data(0).toString(), QStringLiteral("/dorvex/log/velta/events"));
    QStringList directives;
    for (int row = 0; row < block->childCount(); ++row) {
        const QString directive = block->child(row)->data(0).toString() + QLatin1Char(' ') + block->child(row)->data(1).toString();
        directives << directive.trimmed();
    }
    QCOMPARE(directives, expected);

    settings.load();
    QCOMPARE(panel.number(), number);
    QCOMPARE(panel.size(), savedSize);
    QCOMPARE(panel.period(), period);
}

void LogRotationSettingsTest::saveNormalises_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("repeated-rotate-collapses") << Header + "\trotate 3\n\tmissingok\n\trotate 5\n}\n" << Header + "\trotate 5\n\tmissingok\n}\n";
    QTest::newRow("size-2G-kept-as-2048M") << Header + "\tmissingok\n\tsize 2G\n}\n" << Header + "\tsize 2048M\n\tmissingok\n}\n";
    QTest::newRow("size-before-daily-drops-size") << Header + "\tsize 10M\n\tdaily\n\tmissingok\n}\n" << Header + "\tdaily\n\tmissingok\n}\n";
}

// Saving without edits keeps what logrotate applied.
void LogRotationSettingsTest::saveNormalises()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, written);
    TestRoot root;
    root.writeFile(RotateFile, content);
    LogRotationSettings settings;
    settings.load();
    QVERIFY(settings.save());
    QCOMPARE(root.readFile(RotateFile), written);
}

void LogRotationSettingsTest::statistics_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("logSize");

    QTest::newRow("missing-log") << qint64(-1) << QStringLiteral("unknown");
    QTest::newRow("empty-log") << qint64(0) << QStringLiteral("0.00 B");
    QTest::newRow("1023-bytes") << qint64(1023) << QStringLiteral("1023.00 B");
    QTest::newRow("1536-bytes") << qint64(1536) << QStringLiteral("1.50 KB");
    QTest::newRow("one-megabyte") << qint64(1024 * 1024) << QStringLiteral("1.00 MB");
}

void LogRotationSettingsTest::statistics()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, logSize);
    TestRoot root;
    if (bytes >= 0) {
        root.writeFile(Paths::MainEventLog, QByteArray());
        QVERIFY(QFile::resize(root.placed(Paths::MainEventLog), bytes));
    }
    LogRotationSettings settings;
    const Panel panel(settings);
    QCOMPARE(panel.logSizeLabel->text(), logSize);
    if (bytes < 0) {
        QCOMPARE(panel.diskSpaceLabel->text(), QStringLiteral("unknown"));
    } else {
        static const QRegularExpression diskSpace(QStringLiteral("^\\d+\\.\\d\\d [KMGT]?B / \\d+\\.\\d\\d [KMGT]?B$"));
        QVERIFY2(diskSpace.match(panel.diskSpaceLabel->text()).hasMatch(), qPrintable(panel.diskSpaceLabel->text()));
    }
}

QTEST_MAIN(LogRotationSettingsTest)
#include "logrotationsettingstest.moc"
