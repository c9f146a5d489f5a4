#include "rotation/logrotationsettings.h"
#include "messageboxwatcher.h"
#include "platform/paths.h"
#include "testroot.h"
#include "waited.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>

#include <sys/stat.h>

namespace
{
const QString RotateFile = Paths::LogRotateFile;
const QByteArray Header = "/dorvex/log/velta/events\n{\n";
const QByteArray SampleComment = "# Rotation of the main event log of syslog-ng-mod-velta.\n";
const QByteArray SampleTail =
    "\tmissingok\n\tnotifempty\n\tcompress\n\tdelaycompress\n\tpostrotate\n\t\tinvoke-rc.d syslog-ng reload > /dev/null\n\tendscript\n}\n";

template<typename T>
T *control(const QWidget &settings, const char *name)
{
    return settings.findChild<T *>(QLatin1String(name));
}

// The settings as the panel shows them: -1 for an unchecked number or size, an
// empty period when unchecked.
QVariantList shown(const QWidget &settings)
{
    const auto value = [&settings](const char *box, const char *spin) {
        return control<QCheckBox>(settings, box)->isChecked() ? control<QSpinBox>(settings, spin)->value() : -1;
    };
    const auto period = control<QComboBox>(settings, "periodComboBox");
    return {value("numberCheckBox", "numberOfLogs"),
            value("logSizeCheckBox", "logSize"),
            control<QCheckBox>(settings, "periodCheckBox")->isChecked() ? period->currentData().toString() : QString()};
}

// Each control is enabled exactly when its box is checked.
bool controlsFollowBoxes(const QWidget &settings)
{
    return control<QSpinBox>(settings, "numberOfLogs")->isEnabled() == control<QCheckBox>(settings, "numberCheckBox")->isChecked()
        && control<QSpinBox>(settings, "logSize")->isEnabled() == control<QCheckBox>(settings, "logSizeCheckBox")->isChecked()
        && control<QComboBox>(settings, "periodComboBox")->isEnabled() == control<QCheckBox>(settings, "periodCheckBox")->isChecked();
}

QWidget *settingsPanel(const QWidget &settings)
{
    return control<QWidget>(settings, "_settingsPanel");
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
    void saveWithoutEditsKeepsFile_data();
    void saveWithoutEditsKeepsFile();
    void editKeepsOtherValues();
    void refusedSaveIsReported();
    void saveKeepsForeignLines_data();
    void saveKeepsForeignLines();
    void statistics_data();
    void statistics();
};

void LogRotationSettingsTest::load_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: the sample file
    QTest::addColumn<QVariantList>("expected"); // number, size, period

    const QString none;
    QTest::newRow("sample") << QByteArray() << QVariantList{10, 100, none};
    // What logrotate takes is shown as it is; what the panel cannot show is left unchecked (and named).
    QTest::newRow("rotate-500-shown") << Header + "\trotate 500\n}\n" << QVariantList{500, -1, none};
    QTest::newRow("rotate-not-a-number-not-shown") << Header + "\trotate many\n}\n" << QVariantList{-1, -1, none};
    QTest::newRow("rotate-minus-one-not-shown") << Header + "\trotate -1\n}\n" << QVariantList{-1, -1, none};
    QTest::newRow("rotate-beyond-64-bits-not-shown") << Header + "\trotate 18446744073709551616\n}\n" << QVariantList{-1, -1, none};
    QTest::newRow("rotate-before-the-block") << "rotate 3\nsize 20M\n" + Header + "\tmissingok\n}\n" << QVariantList{3, 20, none};
    QTest::newRow("block-overrides-what-comes-before") << "rotate 3\n" + Header + "\trotate 6\n}\n" << QVariantList{6, -1, none};
    QTest::newRow("size-0") << Header + "\tsize 0\n}\n" << QVariantList{-1, 0, none};
    QTest::newRow("size-with-equals-sign") << Header + "\tsize=100M\n}\n" << QVariantList{-1, 100, none};
    QTest::newRow("repeated-rotate-last-applies") << Header + "\trotate 3\n\tmissingok\n\trotate 5\n}\n" << QVariantList{5, -1, none};
    QTest::newRow("size-2G-in-megabytes") << Header + "\tsize 2G\n}\n" << QVariantList{-1, 2048, none};
    QTest::newRow("size-in-bytes-rounded-up") << Header + "\tsize 1048577\n}\n" << QVariantList{-1, 2, none};
    QTest::newRow("size-100k-rounded-up") << Header + "\tsize 100k\n}\n" << QVariantList{-1, 1, none};
    QTest::newRow("size-9000M-shown") << Header + "\tsize 9000M\n}\n" << QVariantList{-1, 9000, none};
    QTest::newRow("size-beyond-spin-box-not-shown") << Header + "\tsize 3000000000M\n}\n" << QVariantList{-1, -1, none};
    QTest::newRow("daily-after-size-applies") << Header + "\tsize 10M\n\tdaily\n}\n" << QVariantList{-1, -1, QStringLiteral("daily")};
    QTest::newRow("size-after-weekly-applies") << Header + "\tweekly\n\tsize 10M\n}\n" << QVariantList{-1, 10, none};
    QTest::newRow("monthly") << Header + "\trotate 4\n\tmonthly\n}\n" << QVariantList{4, -1, QStringLiteral("monthly")};
}

void LogRotationSettingsTest::load()
{
    QFETCH(QByteArray, content);
    QFETCH(QVariantList, expected);
    TestRoot root;
    content.isEmpty() ? root.copySampleSystem() : root.writeFile(RotateFile, content);
    LogRotationSettings settings;
    // A load replaces whatever the controls held before.
    control<QCheckBox>(settings, "periodCheckBox")->setChecked(true);
    control<QCheckBox>(settings, "numberCheckBox")->setChecked(true);

    QVERIFY(Waited::loadTab(settings));
    QVERIFY(settingsPanel(settings)->isEnabled());
    QCOMPARE(shown(settings), expected);
    QVERIFY(controlsFollowBoxes(settings));
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
    QVERIFY(Waited::loadTab(settings));
    QVERIFY(!settingsPanel(settings)->isEnabled());
    QVERIFY(!settingsPanel(settings)->toolTip().isEmpty());

    QVERIFY(Waited::saveTab(settings));
    QCOMPARE(root.exists(RotateFile), exists);
    QCOMPARE(root.readFile(RotateFile), QByteArray());
}

// A file logrotate ignores (writable by others) is still shown, with the reason.
void LogRotationSettingsTest::badFileStillLoads()
{
    TestRoot root;
    root.copySampleSystem();
    QVERIFY(QFile(root.placed(RotateFile)).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther | QFileDevice::WriteOther));
    LogRotationSettings settings;
    QVERIFY(Waited::loadTab(settings));
    QVERIFY(settingsPanel(settings)->isEnabled());
    // logrotate's own reason follows.
    const QString tip = settingsPanel(settings)->toolTip();
    QCOMPARE(tip.section(QLatin1Char('\n'), 0, 0), root.placed(RotateFile) + QStringLiteral(": Bad config file"));
    QVERIFY2(tip.contains(QLatin1String("\nlogrotate: error: ")), qPrintable(tip));
    QCOMPARE(shown(settings), (QVariantList{10, 100, QString()}));
}

void LogRotationSettingsTest::saveCombinations_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("period");

    const int numbers[] = {0, 5, 99};
    const int sizes[] = {1, 250, 4096};
    const char *periods[] = {"daily", "weekly", "monthly", "yearly"};
    for (int boxes = 0; boxes < 8; ++boxes) {
        const bool number = boxes & 1;
        const bool size = boxes & 2;
        const bool period = boxes & 4;
        const QByteArray name = QByteArray(number ? "rotate" : "no-rotate") + (size ? "-size" : "-no-size") + (period ? "-period" : "-no-period");
        QTest::newRow(name.constData()) << (number ? numbers[boxes % 3] : -1) << (size ? sizes[boxes % 3] : -1)
                                        << (period ? QLatin1String(periods[boxes % 4]) : QString());
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
    QVERIFY(Waited::loadTab(settings));

    control<QCheckBox>(settings, "numberCheckBox")->setChecked(number >= 0);
    control<QSpinBox>(settings, "numberOfLogs")->setValue(number);
    control<QCheckBox>(settings, "logSizeCheckBox")->setChecked(size >= 0);
    control<QSpinBox>(settings, "logSize")->setValue(size);
    control<QCheckBox>(settings, "periodCheckBox")->setChecked(!period.isEmpty());
    const auto periodComboBox = control<QComboBox>(settings, "periodComboBox");
    periodComboBox->setCurrentIndex(periodComboBox->findData(period));
    const QVariantList expected{number, period.isEmpty() ? size : -1, period};
    QCOMPARE(shown(settings), expected);
    QVERIFY(Waited::saveTab(settings));

    QByteArray written = Header;
    if (number >= 0) {
        written += "\trotate " + QByteArray::number(number) + '\n';
    }
    if (expected.at(1).toInt() >= 0) {
        written += "\tsize " + QByteArray::number(size) + "M\n";
    }
    if (!period.isEmpty()) {
        written += '\t' + period.toLatin1() + '\n';
    }
    QCOMPARE(root.readFile(RotateFile), SampleComment + written + SampleTail);

    QVERIFY(Waited::loadTab(settings));
    QCOMPARE(settingsPanel(settings)->toolTip(), QString()); // logrotate accepts it
    QCOMPARE(shown(settings), expected);
}

void LogRotationSettingsTest::saveWithoutEditsKeepsFile_data()
{
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("repeated-rotate") << Header + "\trotate 3\n\tmissingok\n\trotate 5\n}\n";
    QTest::newRow("size-2G") << Header + "\tmissingok\n\tsize 2G\n}\n";
    QTest::newRow("size-above-old-limit") << Header + "\tsize 9000M\n}\n";
    QTest::newRow("size-before-daily") << Header + "\tsize 10M\n\tdaily\n\tmissingok\n}\n";
    QTest::newRow("rotate-above-spin-box") << Header + "\trotate 250\n}\n";
}

// What the controls cannot show exactly is never rewritten unless edited.
void LogRotationSettingsTest::saveWithoutEditsKeepsFile()
{
    QFETCH(QByteArray, content);
    TestRoot root;
    root.writeFile(RotateFile, content);
    LogRotationSettings settings;
    QVERIFY(Waited::loadTab(settings));
    QVERIFY(Waited::saveTab(settings));
    QCOMPARE(root.readFile(RotateFile), content);
}

void LogRotationSettingsTest::editKeepsOtherValues()
{
    TestRoot root;
    root.copySampleSystem();
    root.writeFile(RotateFile, Header + "\trotate 250\n\tsize 2G\n\tmissingok\n}\n");
    LogRotationSettings settings;
    QVERIFY(Waited::loadTab(settings));
    control<QSpinBox>(settings, "logSize")->setValue(300);
    QVERIFY(Waited::saveTab(settings));
    QCOMPARE(root.readFile(RotateFile), Header + "\tsize 300M\n\trotate 250\n\tmissingok\n}\n");
}

// A file logrotate refuses is not kept: the save says why and fails, so that
// the window stays open with the edits.
void LogRotationSettingsTest::refusedSaveIsReported()
{
    TestRoot root;
    root.copySampleSystem();
    // logrotate refuses a size the administrator does not touch here.
    const QByteArray before = Header + "\trotate 5\n\tsize 99999999999999999999M\n}\n";
    root.writeFile(RotateFile, before);
    MessageBoxWatcher watcher;
    LogRotationSettings settings;
    QVERIFY(Waited::loadTab(settings));
    control<QSpinBox>(settings, "numberOfLogs")->setValue(7);
    QVERIFY(!Waited::saveTab(settings));
    QCOMPARE(watcher.titles(), QStringList{QStringLiteral("Error")});
    QVERIFY2(watcher.texts().constFirst().contains(QLatin1String("bad size")), qPrintable(watcher.texts().constFirst()));
    QVERIFY2(watcher.texts().constFirst().contains(RotateFile), qPrintable(watcher.texts().constFirst()));
    QCOMPARE(root.readFile(RotateFile), before);
    QCOMPARE(shown(settings).constFirst(), QVariant(7));

    // Once the file is mended outside, the same edit goes through.
    root.writeFile(RotateFile, Header + "\trotate 5\n}\n");
    QVERIFY(Waited::loadTab(settings));
    control<QSpinBox>(settings, "numberOfLogs")->setValue(7);
    QVERIFY(Waited::saveTab(settings));
    QCOMPARE(root.readFile(RotateFile), Header + "\trotate 7\n}\n");
}

void LogRotationSettingsTest::saveKeepsForeignLines_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("written"); // after setting the number of logs to 7

    QTest::newRow("comments-everywhere")
        << QByteArray(
               "# keep me\n\n/dorvex/log/velta/events\n{\n\t# seven weeks, said the auditor\n\trotate 3\n\t#rotate 9 was too many\n\tmissingok\n}\n# end\n")
        << QByteArray(
               "# keep me\n\n/dorvex/log/velta/events\n{\n\trotate 7\n\t# seven weeks, said the auditor\n\t#rotate 9 was too many\n\tmissingok\n}\n# end\n");
    QTest::newRow("foreign-directives-and-long-script") << QByteArray(
        "/dorvex/log/velta/events {\n    missingok\n    notifempty\n    rotate 3\n    postrotate\n        echo rotated\n        /usr/bin/true\n    "
        "endscript\n}\n")
                                                        << QByteArray(
                                                               "/dorvex/log/velta/events {\n\trotate 7\n    missingok\n    notifempty\n    "
                                                               "postrotate\n        echo rotated\n        /usr/bin/true\n    endscript\n}\n");
}

// Only the panel's own directives change; the administrator's comments, layout
// and every line the panel does not show are written back as they were.
void LogRotationSettingsTest::saveKeepsForeignLines()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, written);
    TestRoot root;
    root.writeFile(RotateFile, content);
    MessageBoxWatcher watcher; // a refused file would say so
    LogRotationSettings settings;
    QVERIFY(Waited::loadTab(settings));
    control<QCheckBox>(settings, "numberCheckBox")->setChecked(true);
    control<QSpinBox>(settings, "numberOfLogs")->setValue(7);
    QVERIFY(Waited::saveTab(settings));
    QCOMPARE(root.readFile(RotateFile), written);
    QVERIFY(Waited::loadTab(settings));
    QCOMPARE(shown(settings).at(0), QVariant(7));
}

void LogRotationSettingsTest::statistics_data()
{
    QTest::addColumn<qint64>("bytes"); // -1: no log
    QTest::addColumn<QString>("logSize");

    QTest::newRow("missing-log") << qint64(-1) << QStringLiteral("unknown");
    QTest::newRow("empty-log") << qint64(0) << QStringLiteral("0.00 B");
    QTest::newRow("1023-bytes") << qint64(1023) << QStringLiteral("1023.00 B");
    QTest::newRow("1536-bytes") << qint64(1536) << QStringLiteral("1.50 KB");
    QTest::newRow("one-megabyte") << qint64(1024 * 1024) << QStringLiteral("1.00 MB");
    QTest::newRow("fifo") << qint64(-2) << QStringLiteral("a FIFO, not a log file");
    QTest::newRow("folder") << qint64(-3) << QStringLiteral("a folder, not a log file");
    QTest::newRow("link-to-a-device") << qint64(-4) << QStringLiteral("a link to a device, not a log file");
}

void LogRotationSettingsTest::statistics()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, logSize);
    TestRoot root;
    const QByteArray log = QFile::encodeName(root.placed(Paths::MainEventLog));
    if (bytes >= 0) {
        root.writeFile(Paths::MainEventLog, QByteArray());
        QVERIFY(QFile::resize(root.placed(Paths::MainEventLog), bytes));
    } else if (bytes < -1) {
        QVERIFY(QDir().mkpath(QFileInfo(root.placed(Paths::MainEventLog)).path()));
        QVERIFY(bytes != -2 || ::mkfifo(log.constData(), 0600) == 0);
        QVERIFY(bytes != -3 || QDir().mkdir(root.placed(Paths::MainEventLog)));
        QVERIFY(bytes != -4 || QFile::link(QStringLiteral("/dev/zero"), root.placed(Paths::MainEventLog)));
    }
    LogRotationSettings settings;
    QCOMPARE(control<QLabel>(settings, "logSizeLabel")->text(), logSize);
    const QString diskSpace = control<QLabel>(settings, "diskSpaceLabel")->text();
    static const QRegularExpression scaledPair(QStringLiteral("^\\d+\\.\\d\\d [KMGT]?B / \\d+\\.\\d\\d [KMGT]?B$"));
    QVERIFY2(bytes == -1 ? diskSpace == QLatin1String("unknown") : scaledPair.match(diskSpace).hasMatch(), qPrintable(diskSpace));
}

QTEST_MAIN(LogRotationSettingsTest)
#include "logrotationsettingstest.moc"
